// An interval timer in seconds on the monotonic clock.
#pragma once

#include <chrono>

namespace tolvane {

class OPerfTimer {
 public:
  OPerfTimer() : m_Start(Clock::now()) {}
  virtual ~OPerfTimer() = default;

  void Restart() { m_Start = Clock::now(); }
  // Seconds since the start; the start stays.
  double Elapsed() const { return Seconds(Clock::now() - m_Start); }
  // Seconds since the start; the same reading becomes the new start, so
  // consecutive laps lose no time between them.
  double Lap() {
    Clock::time_point now = Clock::now();
    double seconds = Seconds(now - m_Start);
    m_Start = now;
    return seconds;
  }

 private:
  using Clock = std::chrono::steady_clock;
  static double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }
  Clock::time_point m_Start;
};

}  // namespace tolvane
