// The client end of a simulated device's line for tests: the slave side of
// the pseudo-terminal opened raw, with reads that never wait past a limit.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace tolvane::test {

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
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
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

inline std::vector<uint8_t> ReadFrame(int32_t address) {
  return {0xCD, 0xE6, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
          static_cast<uint8_t>(address >> 16)};
}

inline std::vector<uint8_t> WriteFrame(int32_t address, uint8_t fill) {
  std::vector<uint8_t> frame{0xCD, 0xE7, static_cast<uint8_t>(address),
                             static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address >> 16)};
  for (int i = 0; i < 64; ++i) frame.push_back(static_cast<uint8_t>(fill + i));
  return frame;
}

}  // namespace tolvane::test
