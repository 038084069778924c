// The port's system calls on POSIX: termios for the line, poll for the two
// read behaviours (the driver has no read time-outs of the Windows kind, so
// the active set is obeyed here), exclusive open by TIOCEXCL and flock.
#include "serial/serial_port.h"

#include "log/console_log.h"
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
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
    {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400},
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

int Fd(intptr_t handle) { return static_cast<int>(handle); }

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
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

}  // namespace

std::string OSerialPort::DeviceNameOf(int32_t n) {
  // COM1 is the first built-in UART, ttyS0.
  if (n < 1) return "COM" + std::to_string(n);
  return "/dev/ttyS" + std::to_string(n - 1);
}

bool OSerialPort::SysOpen(const std::string& name, uint32_t& error) {
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) {
    error = static_cast<uint32_t>(errno);
    return false;
  }
  if (!S_ISCHR(st.st_mode) || SysfsSaysNotTty(st.st_rdev)) {
    error = kNotSerialDevice;
    return false;
  }
  int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = static_cast<uint32_t>(errno);
    return false;
  }
  auto refuse = [&](uint32_t code) {
    ::close(fd);
    error = code;
    return false;
  };
  struct termios tio {};
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || ::tcgetattr(fd, &tio) != 0)
    return refuse(kNotSerialDevice);
#if defined(TIOCGEXCL)
  // Root passes another holder's TIOCEXCL; it must not take the port anyway.
  int exclusive = 0;
  if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) return refuse(EBUSY);
#endif
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return refuse(EBUSY);
  ::ioctl(fd, TIOCEXCL);
  m_hPort = fd;
  return true;
}

void OSerialPort::SysClose() {
  int fd = Fd(m_hPort);
  ::ioctl(fd, TIOCNXCL);
  ::close(fd);
}

bool OSerialPort::SysConfigure(int32_t speed) {
  int fd = Fd(m_hPort);
  speed_t code = 0;
  struct termios tio {};
  if (!SpeedToCode(speed, code) || ::tcgetattr(fd, &tio) != 0) return false;
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
  tio.c_cflag |= CS8 | CREAD | CLOCAL;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | IGNPAR | PARMRK | INPCK);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (::cfsetispeed(&tio, code) != 0 || ::cfsetospeed(&tio, code) != 0) return false;
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) return false;
  // tcsetattr succeeds when any part was taken: check the speed held.
  struct termios back {};
  if (::tcgetattr(fd, &back) != 0 || ::cfgetospeed(&back) != code) return false;
  m_Dcb.BaudRate = CodeToSpeed(::cfgetospeed(&back));
  m_Dcb.ByteSize = (back.c_cflag & CSIZE) == CS8 ? 8 : 7;
  m_Dcb.Parity = (back.c_cflag & PARENB) ? 1 : 0;
  m_Dcb.StopBits = (back.c_cflag & CSTOPB) ? 2 : 0;
  // RTS asserted, DTR de-asserted; a pseudo-terminal has no modem lines.
  int rts = TIOCM_RTS, dtr = TIOCM_DTR;
  ::ioctl(fd, TIOCMBIS, &rts);
  ::ioctl(fd, TIOCMBIC, &dtr);
  return true;
}

void OSerialPort::SysPrepare(const std::string& name) {
  int fd = Fd(m_hPort);
#if defined(__linux__) && defined(ASYNC_LOW_LATENCY)
  // USB serial drivers pass bytes on at once in low-latency mode (FTDI: the
  // latency timer drops to 1 ms).
  struct serial_struct serial {};
  if (::ioctl(fd, TIOCGSERIAL, &serial) == 0 && !(static_cast<unsigned>(serial.flags) & ASYNC_LOW_LATENCY)) {
    serial.flags = static_cast<int>(static_cast<unsigned>(serial.flags) | ASYNC_LOW_LATENCY);
    ::ioctl(fd, TIOCSSERIAL, &serial);
  }
#endif
#if defined(__linux__) && defined(TIOCGICOUNT)
  // Errors counted before this open are not this session's.
  struct serial_icounter_struct counts {};
  m_FrameCountSeen = ::ioctl(fd, TIOCGICOUNT, &counts) == 0 ? static_cast<uint32_t>(counts.frame) : 0;
#endif
  struct stat st {};
  if (::fstat(fd, &st) != 0) return;
  std::string dir = SysfsDirOf(st.st_rdev);
  if (dir.empty()) return;
  if (std::optional<int32_t> ms = ReadLatencyTimer(dir + "/device")) {
    std::string advice = LatencyAdvice(name, *ms);
    if (!advice.empty()) Log().SetColor(kColorWarning).Text(advice).SetColor(kColorNormal);
  }
}

bool OSerialPort::SysSetTimeouts(const PortTimeouts& timeouts) {
  m_Active = timeouts;
  return true;
}

bool OSerialPort::SysRead(uint8_t* buffer, int32_t count, int32_t& received, uint32_t& error) {
  received = 0;
  const int fd = Fd(m_hPort);
  const PortTimeouts& t = m_Active;
  const bool noWait = t.ReadIntervalTimeout == kNoInterval && t.ReadTotalTimeoutMultiplier == 0 &&
                      t.ReadTotalTimeoutConstant == 0;
  const int64_t total = static_cast<int64_t>(t.ReadTotalTimeoutMultiplier) * count +
                        static_cast<int64_t>(t.ReadTotalTimeoutConstant);
  const bool interval = t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kNoInterval;
  const int64_t start = NowMs();
  int64_t lastByte = start;
  if (count <= 0) return true;
  for (;;) {
    int waitMs = 0;
    if (!noWait) {
      int64_t now = NowMs();
      int64_t left = total > 0 ? start + total - now : INT_MAX;
      if (interval && received > 0) left = std::min<int64_t>(left, lastByte + t.ReadIntervalTimeout - now);
      if (left <= 0) return true;
      waitMs = static_cast<int>(std::min<int64_t>(left, INT_MAX));
    }
    struct pollfd p {fd, POLLIN, 0};
    int ready = ::poll(&p, 1, waitMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      error = static_cast<uint32_t>(errno);
      return false;
    }
    if (ready == 0) {
      if (noWait) return true;
      continue;  // the deadlines are checked above
    }
    if (p.revents & POLLIN) {
      ssize_t n = ::read(fd, buffer + received, static_cast<size_t>(count - received));
      if (n > 0) {
        received += static_cast<int32_t>(n);
        lastByte = NowMs();
        if (received >= count || noWait) return true;
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        if (noWait) return true;
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

void OSerialPort::SysWrite(const uint8_t* data, int32_t count) {
  // No write time-out, as on the device's own line; but a peer that never
  // drains must not hang the program: give up after 5 s without progress.
  constexpr int kStallMs = 5000;
  const int fd = Fd(m_hPort);
  size_t done = 0;
  const size_t total = static_cast<size_t>(count);
  int64_t progress = NowMs();
  while (done < total) {
    ssize_t n = ::write(fd, data + done, total - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      progress = NowMs();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return;
    int64_t left = progress + kStallMs - NowMs();
    if (left <= 0) return;
    struct pollfd p {fd, POLLOUT, 0};
    if (::poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) return;
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return;
  }
}

bool OSerialPort::SysClearErrors(bool& frameError) {
  const int fd = Fd(m_hPort);
  frameError = false;
#if defined(__linux__) && defined(TIOCGICOUNT)
  struct serial_icounter_struct counts {};
  if (::ioctl(fd, TIOCGICOUNT, &counts) == 0) {
    uint32_t frame = static_cast<uint32_t>(counts.frame);
    frameError = frame != m_FrameCountSeen;
    m_FrameCountSeen = frame;
    return true;
  }
#endif
  // No counters (a pseudo-terminal): the driver answers, nothing is counted.
  struct termios tio {};
  return ::tcgetattr(fd, &tio) == 0;
}

int32_t OSerialPort::SysPendingOutput() const {
  int queued = 0;
  if (::ioctl(Fd(m_hPort), TIOCOUTQ, &queued) != 0) return 0;
  return queued;
}

}  // namespace tolvane
