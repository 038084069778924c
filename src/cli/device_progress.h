// The progress bar of the device commands on stderr: blocks done of all,
// bytes per second on the wire and the time left, summed over every port.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tolvane::cli {

class ProgressBoard {
 public:
  // A disabled board draws nothing (stderr is no terminal, or the trace is on).
  ProgressBoard(bool enabled, size_t ports);
  ~ProgressBoard() { Finish(); }

  // From any thread: port slot's state. Redraws at most ten times a second.
  // bytes and totalBytes: on the wire so far and for the whole run.
  void Update(size_t slot, int32_t done, int32_t total, int64_t bytes, int64_t totalBytes);
  // Clears the bar so that the results print on a clean line.
  void Finish();

  // The bar's text for the sums given (for tests and drawing).
  static std::string Line(int32_t done, int32_t total, int64_t bytes, int64_t totalBytes, double seconds, size_t ports);

 private:
  struct Slot {
    int32_t Done = 0;
    int32_t Total = 0;
    int64_t Bytes = 0;
    int64_t TotalBytes = 0;
  };
  using Clock = std::chrono::steady_clock;
  void Draw(const std::string& text);

  bool m_Enabled;
  bool m_Controls;  // the terminal takes ANSI control sequences
  size_t m_DrawnWidth = 0;
  bool m_Drawn = false;
  std::mutex m_Mutex;
  std::vector<Slot> m_Slots;
  Clock::time_point m_Start = Clock::now();
  Clock::time_point m_LastDraw{};
};

}  // namespace tolvane::cli
