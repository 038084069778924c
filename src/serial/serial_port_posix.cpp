// The port's system calls on POSIX: termios for the line, poll for the two
// reads (at once, or until a deadline), exclusive open by TIOCEXCL and flock.
// The line settings found at the open are put back at the close, as every
// tool that borrows a terminal does.
#include "serial/serial_port_backend.h"

#include "log/console_log.h"
#include "serial/held_ports.h"
#include "serial/latency_timer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <chrono>
#include <climits>
#include <filesystem>
#include <iterator>

#if defined(__linux__)
#include <linux/serial.h>
#endif

namespace tolvane {
namespace {

struct SpeedCode {
  int32_t baud;
  speed_t code;
};

constexpr SpeedCode kSpeeds[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},
    {38400, B38400},   {57600, B57600},   {115200, B115200}, {230400, B230400},
#if defined(B460800)
    {460800, B460800}, {921600, B921600},
#endif
};

bool SpeedToCode(int32_t baud, speed_t& code) {
  for (const SpeedCode& s : kSpeeds)
    if (s.baud == baud) {
      code = s.code;
      return true;
    }
  return false;
}

uint32_t CodeToSpeed(speed_t code) {
  for (const SpeedCode& s : kSpeeds)
    if (s.code == code) return static_cast<uint32_t>(s.baud);
  return 0;
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The sysfs directory of a character device, empty when sysfs has none (a
// pseudo-terminal, or no sysfs at all).
std::string SysfsDirOf(dev_t rdev) {
  std::string dir = "/sys/dev/char/" + std::to_string(major(rdev)) + ":" + std::to_string(minor(rdev));
  std::error_code ec;
  return std::filesystem::exists(dir, ec) ? dir : std::string();
}

// A device that sysfs files under another subsystem than tty is not a serial
// port; it is refused before it is opened, as opening some devices acts.
bool SysfsSaysNotTty(dev_t rdev) {
  std::string dir = SysfsDirOf(rdev);
  if (dir.empty()) return false;
  std::error_code ec;
  std::filesystem::path subsystem = std::filesystem::read_symlink(dir + "/subsystem", ec);
  return !ec && subsystem.filename() != "tty";
}

// Devices that must never be taken for the device's port, known by their
// numbers before they are opened: the program's own terminal by its generic
// name, and the pseudo-terminal multiplexer, which makes a new terminal on
// each open.
uint32_t ForbiddenDevice(dev_t rdev) {
  constexpr unsigned kTtyMajor = 5;  // /dev/tty 5:0, /dev/ptmx 5:2
  if (major(rdev) == kTtyMajor && minor(rdev) == 0) return kOwnTerminal;
  if (major(rdev) == kTtyMajor && minor(rdev) == 2) return kNotSerialDevice;
  return 0;
}

// How long a no-wait read that found bytes waits for the kernel to pass on
// the rest of what has arrived.
constexpr int kRefillMs = 2;
// How long a write may wait for a line that takes nothing.
// How long closing waits for queued output before the old settings return
// (which could change the speed under bytes still on their way).
constexpr int kDrainMs = 1000;

HeldPorts<int, struct termios> g_Held(-1, -2);

class PosixBackend final : public OSerialPort::Backend {
 public:
  PosixBackend(int fd, const struct termios& found) : m_Fd(fd), m_Found(found) {
    g_Held.Hold(fd, found, GiveBackPortsNow);
  }
  ~PosixBackend() override;

  bool Configure(int32_t speed, uint32_t& taken) override;
  bool PrepareReads() override { return true; }  // poll decides how long a read waits
  void Prepare(const std::string& name) override;
  bool ReadNow(uint8_t* buffer, int32_t count, int32_t& received, uint32_t& error) override;
  bool ReadUntil(uint8_t* buffer, int32_t count, int32_t& received, Clock::time_point deadline,
                 uint32_t& error) override;
  bool Write(const uint8_t* data, int32_t count, const std::atomic<bool>* stop, uint32_t& error) override;
  bool ClearErrors(bool& frameError) override;
  int32_t PendingOutput() override;
  void DiscardOutput() override { ::tcflush(m_Fd, TCOFLUSH); }

 private:
  // Reads until count, or (waiting) until the deadline; without waiting,
  // what has arrived and what follows within kRefillMs.
  bool ReadSome(uint8_t* buffer, int32_t count, int32_t& received, const Clock::time_point* deadline, uint32_t& error);

  int m_Fd;
  struct termios m_Found;         // the line settings before the open
  uint32_t m_FrameCountSeen = 0;  // driver's cumulative framing-error count
};

}  // namespace

std::unique_ptr<OSerialPort::Backend> OpenSystemPort(const std::string& name, uint32_t& error) {
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) {
    error = static_cast<uint32_t>(errno);
    return nullptr;
  }
  if (!S_ISCHR(st.st_mode) || SysfsSaysNotTty(st.st_rdev)) {
    error = kNotSerialDevice;
    return nullptr;
  }
  if ((error = ForbiddenDevice(st.st_rdev)) != 0) return nullptr;
  int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = static_cast<uint32_t>(errno);
    return nullptr;
  }
  auto refuse = [&](uint32_t code) {
    ::close(fd);
    error = code;
    return nullptr;
  };
  // The terminal the program's user types in, by whatever name it was given.
  if (::tcgetsid(fd) == ::getsid(0)) return refuse(kOwnTerminal);
  struct termios found {};
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || ::tcgetattr(fd, &found) != 0) return refuse(kNotSerialDevice);
#if defined(TIOCGEXCL)
  // Root passes another holder's TIOCEXCL; it must not take the port anyway.
  int exclusive = 0;
  if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) return refuse(EBUSY);
#endif
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return refuse(EBUSY);
  ::ioctl(fd, TIOCEXCL);
  return std::make_unique<PosixBackend>(fd, found);
}

namespace {

PosixBackend::~PosixBackend() {
  const int64_t until = NowMs() + kDrainMs;
  int queued = 0;
  while (::ioctl(m_Fd, TIOCOUTQ, &queued) == 0 && queued > 0 && NowMs() < until) ::usleep(1000);
  g_Held.Release(m_Fd);
  ::tcsetattr(m_Fd, TCSANOW, &m_Found);
  ::ioctl(m_Fd, TIOCNXCL);
  ::close(m_Fd);
}

bool PosixBackend::Configure(int32_t speed, uint32_t& taken) {
  speed_t code = 0;
  struct termios tio = m_Found;
  if (!SpeedToCode(speed, code)) return false;
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
  tio.c_cflag |= CS8 | CREAD | CLOCAL;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | IGNPAR | PARMRK | INPCK);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (::cfsetispeed(&tio, code) != 0 || ::cfsetospeed(&tio, code) != 0) return false;
  if (::tcsetattr(m_Fd, TCSANOW, &tio) != 0) return false;
  // tcsetattr succeeds when any part was taken: check the speed held.
  struct termios back {};
  if (::tcgetattr(m_Fd, &back) != 0 || ::cfgetospeed(&back) != code) return false;
  taken = CodeToSpeed(::cfgetospeed(&back));
  // RTS asserted, DTR de-asserted; a pseudo-terminal has no modem lines.
  int rts = TIOCM_RTS, dtr = TIOCM_DTR;
  ::ioctl(m_Fd, TIOCMBIS, &rts);
  ::ioctl(m_Fd, TIOCMBIC, &dtr);
  return true;
}

void PosixBackend::Prepare(const std::string& name) {
#if defined(__linux__) && defined(ASYNC_LOW_LATENCY)
  // USB serial drivers pass bytes on at once in low-latency mode (FTDI: the
  // latency timer drops to 1 ms).
  struct serial_struct serial {};
  if (::ioctl(m_Fd, TIOCGSERIAL, &serial) == 0 && !(static_cast<unsigned>(serial.flags) & ASYNC_LOW_LATENCY)) {
    serial.flags = static_cast<int>(static_cast<unsigned>(serial.flags) | ASYNC_LOW_LATENCY);
    ::ioctl(m_Fd, TIOCSSERIAL, &serial);
  }
#endif
#if defined(__linux__) && defined(TIOCGICOUNT)
  // Errors counted before this open are not this session's.
  struct serial_icounter_struct counts {};
  m_FrameCountSeen = ::ioctl(m_Fd, TIOCGICOUNT, &counts) == 0 ? static_cast<uint32_t>(counts.frame) : 0;
#endif
  struct stat st {};
  if (::fstat(m_Fd, &st) != 0) return;
  std::string dir = SysfsDirOf(st.st_rdev);
  if (dir.empty()) return;
  if (std::optional<int32_t> ms = ReadLatencyTimer(dir + "/device")) {
    std::string advice = LatencyAdvice(name, *ms);
    if (!advice.empty()) Log().SetColor(kColorWarning).Text(advice).SetColor(kColorNormal);
  }
}

bool PosixBackend::ReadNow(uint8_t* buffer, int32_t count, int32_t& received, uint32_t& error) {
  return ReadSome(buffer, count, received, nullptr, error);
}

bool PosixBackend::ReadUntil(uint8_t* buffer, int32_t count, int32_t& received, Clock::time_point deadline,
                             uint32_t& error) {
  return ReadSome(buffer, count, received, &deadline, error);
}

bool PosixBackend::ReadSome(uint8_t* buffer, int32_t count, int32_t& received, const Clock::time_point* deadline,
                            uint32_t& error) {
  received = 0;
  if (count <= 0) return true;
  for (;;) {
    int waitMs = 0;
    if (deadline != nullptr) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
      if (left <= 0) return true;
      waitMs = static_cast<int>(std::min<int64_t>(left, INT_MAX));
    }
    struct pollfd p {
      m_Fd, POLLIN, 0
    };
    int ready = ::poll(&p, 1, waitMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      error = static_cast<uint32_t>(errno);
      return false;
    }
    if (ready == 0) {
      if (deadline == nullptr) return true;
      continue;  // the deadline is checked above
    }
    if (p.revents & POLLIN) {
      // One read() of a terminal gives at most about 4 KiB, and the kernel
      // refills what it hands out a moment later: a read without waiting
      // goes on until the count is reached or nothing more comes within
      // kRefillMs.
      ssize_t n = ::read(m_Fd, buffer + received, static_cast<size_t>(count - received));
      if (n > 0) {
        received += static_cast<int32_t>(n);
        if (received >= count) return true;
        if (deadline == nullptr) {
          struct pollfd more {
            m_Fd, POLLIN, 0
          };
          if (::poll(&more, 1, kRefillMs) <= 0 || !(more.revents & POLLIN)) return true;
        }
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        if (deadline == nullptr) return true;
        continue;
      }
      // End of file on a terminal: the line hung up (adapter gone).
      error = n < 0 ? static_cast<uint32_t>(errno) : static_cast<uint32_t>(EIO);
      return received > 0;
    }
    // Hung up or failed with nothing to read: the device is gone.
    error = (p.revents & POLLNVAL) ? static_cast<uint32_t>(EBADF) : static_cast<uint32_t>(EIO);
    return received > 0;
  }
}

bool PosixBackend::Write(const uint8_t* data, int32_t count, const std::atomic<bool>* stop, uint32_t& error) {
  // No write time-out, as on the device's own line; but a peer that never
  // drains must not hang the program: give up after kWriteStallMs without
  // progress, or at once when asked to stop.
  constexpr int kSliceMs = 20;
  size_t done = 0;
  const size_t total = static_cast<size_t>(count);
  int64_t progress = NowMs();
  while (done < total) {
    ssize_t n = ::write(m_Fd, data + done, total - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      progress = NowMs();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      error = static_cast<uint32_t>(errno);
      return false;
    }
    if (stop != nullptr && stop->load()) {
      error = static_cast<uint32_t>(EINTR);
      return false;
    }
    const int64_t left = progress + kWriteStallMs - NowMs();
    if (left <= 0) {
      error = kWriteStalled;
      return false;
    }
    struct pollfd p {
      m_Fd, POLLOUT, 0
    };
    if (::poll(&p, 1, static_cast<int>(std::min<int64_t>(left, kSliceMs))) < 0 && errno != EINTR) {
      error = static_cast<uint32_t>(errno);
      return false;
    }
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      error = static_cast<uint32_t>(EIO);
      return false;
    }
  }
  return true;
}

bool PosixBackend::ClearErrors(bool& frameError) {
  frameError = false;
#if defined(__linux__) && defined(TIOCGICOUNT)
  struct serial_icounter_struct counts {};
  if (::ioctl(m_Fd, TIOCGICOUNT, &counts) == 0) {
    uint32_t frame = static_cast<uint32_t>(counts.frame);
    frameError = frame != m_FrameCountSeen;
    m_FrameCountSeen = frame;
    return true;
  }
#endif
  // No counters (a pseudo-terminal): the driver answers, nothing is counted.
  struct termios tio {};
  return ::tcgetattr(m_Fd, &tio) == 0;
}

int32_t PosixBackend::PendingOutput() {
  int queued = 0;
  if (::ioctl(m_Fd, TIOCOUTQ, &queued) != 0) return 0;
  return queued;
}

}  // namespace

void GiveBackPortsNow() {
  g_Held.ForEach([](int fd, const struct termios& found) {
    ::tcsetattr(fd, TCSANOW, &found);
    ::ioctl(fd, TIOCNXCL);
  });
}

void GiveBackPortsAndRaise(int signalNumber) {
  GiveBackPortsNow();
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signalNumber, &fallback, nullptr);
  raise(signalNumber);
}

}  // namespace tolvane
