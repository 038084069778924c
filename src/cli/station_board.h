// What the station shows while it works. On a terminal: a line per port,
// rewritten in place (waiting, programming with percent and time left, done
// with the device's identifier, failed with the reason), and the totals so
// far under them. Elsewhere (a pipe, a log file): a line per event, with the
// time.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "session/station.h"

namespace tolvane::cli {

class StationBoard : public IStationReporter {
 public:
  // redrawn: the board on a terminal; else event lines.
  StationBoard(std::vector<std::string> labels, bool redrawn);

  void PortChanged(size_t port, const StationPortStatus& status) override;
  void DeviceEnded(size_t port, const DeviceRecord& record, const StationTotals& totals,
                   const std::string& recordError) override;
  bool StopRequested() override;

  // Leaves the board as it last stood, for the lines that follow it.
  void Finish();

  // A port's line, and the totals' line.
  static std::string StatusLine(const std::string& label, const StationPortStatus& status);
  static std::string TotalsLine(const StationTotals& totals);

 private:
  using Clock = std::chrono::steady_clock;
  void Redraw(bool force);
  void Event(const std::string& text);

  std::vector<std::string> m_Labels;
  bool m_Redrawn;
  std::mutex m_Mutex;
  std::vector<std::string> m_Lines;  // each port's line as last drawn or told
  StationTotals m_Totals;
  bool m_Drawn = false;
  Clock::time_point m_LastDraw{};
};

}  // namespace tolvane::cli
