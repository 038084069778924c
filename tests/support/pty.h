// Pseudo-terminals for tests and benchmarks: a pair whose master side plays
// the device while the port under test opens the slave (PtyPair), and the
// client end of a simulated device's line (PtyClient).
#pragma once

#include "monitor_frames.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace tolvane::test {

class PtyPair {
 public:
  PtyPair() {
    m_Master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_Master < 0 || ::grantpt(m_Master) != 0 || ::unlockpt(m_Master) != 0) return;
    m_SlavePath = ::ptsname(m_Master);
    // A slave of the test's own, opened before any port makes the line
    // exclusive, to look at the line settings from outside.
    m_Slave = ::open(m_SlavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    // The master side carries bytes unchanged.
    struct termios tio {};
    if (::tcgetattr(m_Master, &tio) == 0) {
      ::cfmakeraw(&tio);
      ::tcsetattr(m_Master, TCSANOW, &tio);
    }
  }
  ~PtyPair() {
    CloseMaster();
    if (m_Slave >= 0) ::close(m_Slave);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool Ok() const { return m_Master >= 0 && !m_SlavePath.empty(); }
  const std::string& SlavePath() const { return m_SlavePath; }
  int Master() const { return m_Master; }
  // The line settings of the slave, as any program on it sees them.
  struct termios SlaveSettings() const {
    struct termios tio {};
    ::tcgetattr(m_Slave, &tio);
    return tio;
  }
  void SetSlaveSettings(const struct termios& tio) const { ::tcsetattr(m_Slave, TCSANOW, &tio); }

  void Send(const std::vector<uint8_t>& bytes) const {
    if (!bytes.empty()) (void)!::write(m_Master, bytes.data(), bytes.size());
  }

  // What the port wrote, gathered for up to timeoutMs or until `wanted` bytes.
  std::vector<uint8_t> Receive(size_t wanted, int timeoutMs = 1000) const {
    std::vector<uint8_t> out;
    while (out.size() < wanted) {
      struct pollfd p {
        m_Master, POLLIN, 0
      };
      if (::poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN)) break;
      uint8_t buf[256];
      ssize_t n = ::read(m_Master, buf, sizeof buf);
      if (n <= 0) break;
      out.insert(out.end(), buf, buf + n);
    }
    return out;
  }

  void CloseMaster() {
    if (m_Master >= 0) ::close(m_Master);
    m_Master = -1;
  }

 private:
  int m_Master = -1;
  int m_Slave = -1;
  std::string m_SlavePath;
};

class PtyClient {
 public:
  explicit PtyClient(const std::string& path) {
    m_Fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_Fd < 0) return;
    termios tio{};
    tcgetattr(m_Fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(m_Fd, TCSANOW, &tio);
  }
  ~PtyClient() {
    if (m_Fd >= 0) close(m_Fd);
  }
  PtyClient(const PtyClient&) = delete;
  PtyClient& operator=(const PtyClient&) = delete;

  bool IsOpen() const { return m_Fd >= 0; }

  void Send(const std::vector<uint8_t>& bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(m_Fd, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }

  // Up to `wanted` bytes, waiting at most timeoutMs for all of them.
  // Hangup sets HungUp() and ends the wait.
  std::vector<uint8_t> Receive(size_t wanted, int timeoutMs) {
    std::vector<uint8_t> got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < wanted) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() < 0) break;
      pollfd p{m_Fd, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
      uint8_t buffer[4096];
      const size_t room = std::min(sizeof buffer, wanted - got.size());
      const ssize_t n = (p.revents & POLLIN) ? read(m_Fd, buffer, room) : -1;
      if (n <= 0) {
        m_HungUp = true;
        break;
      }
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }

  bool HungUp() const { return m_HungUp; }

 private:
  int m_Fd = -1;
  bool m_HungUp = false;
};

}  // namespace tolvane::test
