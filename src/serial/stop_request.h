// The user's request to stop, as signals and console events bring it: the
// first asks the work to stop between two blocks, a second one ends the
// program at once (GiveBackPortsAndRaise). The same request delivered twice
// at once is still the first: `timeout` signals the program and then its
// process group, so the program gets it twice within microseconds. Only a
// request that comes later than kStopRepeatWindow after the first forces
// the end. Lock-free: signal handlers note requests.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace tolvane {

inline constexpr std::chrono::seconds kStopRepeatWindow{2};

// What a request noted is: the first, the first delivered again, or a
// second one that forces the end.
enum class StopNote { First, Repeat, Forced };

class OStopRequest {
 public:
  // Notes a request. Async-signal-safe (steady_clock reads clock_gettime).
  StopNote Note() {
    using namespace std::chrono;
    m_Asked.store(true);
    // Never 0, which stands for "none yet".
    const int64_t now = duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count() | 1;
    int64_t first = 0;
    if (m_First.compare_exchange_strong(first, now)) return StopNote::First;
    return now - first > nanoseconds(kStopRepeatWindow).count() ? StopNote::Forced : StopNote::Repeat;
  }
  bool Asked() const { return m_Asked.load(); }
  // The flag behind Asked(), for a port to watch while it writes.
  const std::atomic<bool>& Flag() const { return m_Asked; }

 private:
  static_assert(std::atomic<int64_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);
  std::atomic<bool> m_Asked{false};
  std::atomic<int64_t> m_First{0};  // steady time of the first request, in ns
};

}  // namespace tolvane
