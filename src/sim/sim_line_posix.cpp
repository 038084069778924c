// The simulated device's line on a pseudo-terminal pair: the device holds the
// master, the client opens the slave's path like any serial port.
#include "sim/sim_line.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>

#include "sim/websocket_door.h"

namespace tolvane::sim {
namespace {

std::string SystemText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

class PtyLine : public SimLine {
 public:
  ~PtyLine() override {
    HangUp();
    for (int fd : {m_WakeRead, m_WakeWrite})
      if (fd >= 0) close(fd);
  }

  bool Open(std::string& path, std::string* error);

  size_t Read(uint8_t* buffer, size_t max) override {
    if (const size_t n = m_Door.Read(buffer, max, m_LastArrivalNs); n > 0) return n;
    m_LastArrivalNs = -1;
    const ssize_t n = m_Master >= 0 ? read(m_Master, buffer, max) : -1;
    return n > 0 ? static_cast<size_t>(n) : 0;
  }
  int64_t LastArrivalNs() const override { return m_LastArrivalNs; }
  bool InputWaiting() override {
    if (m_Door.InputWaiting()) return true;
    // Asking how much is waiting never sleeps; a read does while the kernel
    // still moves the client's bytes across.
    int waiting = 0;
    return ioctl(m_Master, FIONREAD, &waiting) != 0 || waiting > 0;
  }
  size_t Write(const uint8_t* data, size_t count) override {
    // A page on the door has the line while it is there.
    if (m_Door.Connected()) return m_Door.Write(data, count) ? count : 0;
    // With nobody reading, the line's buffer fills and the rest is lost, as
    // on a real line with no listener.
    const ssize_t n = m_Master >= 0 ? write(m_Master, data, count) : -1;
    return n > 0 ? static_cast<size_t>(n) : 0;
  }
  bool Wait(int64_t timeoutNs) override;
  void Wake() override {
    const uint8_t b = 1;
    if (m_WakeWrite >= 0) [[maybe_unused]]
      auto n = write(m_WakeWrite, &b, 1);
  }
  void HangUp() override {
    m_Door.Close();
    for (int* fd : {&m_Master, &m_Slave}) {
      if (*fd >= 0) close(*fd);
      *fd = -1;
    }
  }
  void ReleaseDepartedClient() override;
  bool OpenWebSocketDoor(int32_t port, std::string& url, std::string* error) override {
    return m_Door.Listen(port, url, error);
  }

 private:
  WebSocketDoor m_Door;
  int64_t m_LastArrivalNs = -1;
  int m_Master = -1;
  int m_Slave = -1;  // held open so the line stays up while no client has it open
  int m_WakeRead = -1;
  int m_WakeWrite = -1;
};

bool PtyLine::Open(std::string& path, std::string* error) {
  auto fail = [&](const char* what) {
    if (error) *error = SystemText(what);
    HangUp();
    return false;
  };
  m_Master = posix_openpt(O_RDWR | O_NOCTTY);
  if (m_Master < 0) return fail("posix_openpt");
  if (grantpt(m_Master) != 0 || unlockpt(m_Master) != 0) return fail("grantpt/unlockpt");
  {
    static std::mutex ptsnameMutex;  // ptsname returns a shared buffer
    std::lock_guard lock(ptsnameMutex);
    const char* name = ptsname(m_Master);
    if (!name) return fail("ptsname");
    path = name;
  }
  fcntl(m_Master, F_SETFD, FD_CLOEXEC);
  fcntl(m_Master, F_SETFL, fcntl(m_Master, F_GETFL) | O_NONBLOCK);
  m_Slave = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_Slave < 0) return fail("open pseudo-terminal");
  // Raw: every byte passes untranslated in both directions.
  termios tio{};
  if (tcgetattr(m_Slave, &tio) != 0) return fail("tcgetattr");
  cfmakeraw(&tio);
  if (tcsetattr(m_Slave, TCSANOW, &tio) != 0) return fail("tcsetattr");
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return fail("pipe");
  m_WakeRead = pipeFds[0];
  m_WakeWrite = pipeFds[1];
  for (int fd : pipeFds) {
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  return true;
}

bool PtyLine::Wait(int64_t timeoutNs) {
  timespec timeout{};
  timespec* wait = nullptr;
  if (timeoutNs >= 0) {
    timeout.tv_sec = static_cast<time_t>(timeoutNs / 1'000'000'000);
    timeout.tv_nsec = static_cast<long>(timeoutNs % 1'000'000'000);
    wait = &timeout;
  }
  pollfd fds[4] = {
      {m_Master, POLLIN, 0}, {m_WakeRead, POLLIN, 0}, {m_Door.ListenFd(), POLLIN, 0}, {m_Door.ClientFd(), POLLIN, 0}};
  if (ppoll(fds, 4, wait, nullptr) < 0 && errno != EINTR) return false;
  if (fds[2].revents & POLLIN) m_Door.Admit();
  // No client has the slave open: the master reports a hang-up at once,
  // which must not turn the wait into a busy loop.
  if ((fds[0].revents & (POLLHUP | POLLERR)) && !(fds[0].revents & POLLIN)) usleep(1000);
  if (fds[1].revents & POLLIN) {
    uint8_t drain[64];
    while (read(m_WakeRead, drain, sizeof drain) > 0) {
    }
  }
  return true;
}

void PtyLine::ReleaseDepartedClient() {
  if (m_Slave < 0) return;
#if defined(TIOCGEXCL)
  int exclusive = 0;
  if (ioctl(m_Slave, TIOCGEXCL, &exclusive) != 0 || exclusive == 0) return;
#endif
  // A client holds the line's lock for as long as it holds the line; a lock
  // that is free means the client is gone.
  if (flock(m_Slave, LOCK_EX | LOCK_NB) != 0) return;
  flock(m_Slave, LOCK_UN);
  ioctl(m_Slave, TIOCNXCL);
}

}  // namespace

std::unique_ptr<SimLine> OpenSimLine(bool inProcess, std::string& path, std::string* error) {
  if (inProcess) return OpenInProcessSimLine(path);
  auto line = std::make_unique<PtyLine>();
  if (!line->Open(path, error)) return nullptr;
  return line;
}

void TuneServingThread(bool emulated) {
#if defined(__linux__)
  // Wake-ups land within microseconds of the wire times, not 50 us late.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
  if (emulated) {
    // Where allowed, keep busy neighbours from delaying the wire times; the
    // thread sleeps nearly all the time, so it takes almost nothing from them.
    sched_param param{};
    param.sched_priority = 1;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
  }
}

}  // namespace tolvane::sim
