#include "station_board.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "device_interrupt.h"
#include "reporter.h"
#include "session/local_time.h"

namespace tolvane::cli {
namespace {

constexpr auto kRedrawPeriod = std::chrono::milliseconds(100);

// The device as a person compares it with a label: its unique identifier.
std::string DeviceText(const DeviceIdentity& device) {
  return device.Known ? device.UniqueIdHex() : std::string("the device");
}

// Cut to the terminal's width, so that a line never wraps and the board's
// cursor moves stay true. Cuts between UTF-8 characters.
std::string Fitted(const std::string& line, size_t columns) {
  size_t shown = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    if ((static_cast<unsigned char>(line[i]) & 0xC0) == 0x80) continue;
    if (++shown > columns) return line.substr(0, i);
  }
  return line;
}

}  // namespace

StationBoard::StationBoard(std::vector<std::string> labels, bool redrawn)
    : m_Labels(std::move(labels)), m_Redrawn(redrawn), m_Lines(m_Labels.size()) {}

std::string StationBoard::StatusLine(const std::string& label, const StationPortStatus& status) {
  const std::string device = DeviceText(status.Device);
  std::string text;
  switch (status.State) {
    case StationState::Waiting: text = "waiting for a device: switch it on"; break;
    case StationState::Programming: {
      text = "programming " + device;
      const RunProgress& p = status.Progress;
      if (p.Total > 0) {
        char figures[64];
        std::snprintf(figures, sizeof figures, ": %d %%", static_cast<int>(100.0 * p.Done / p.Total));
        text += figures;
        if (const std::optional<double> left = SecondsLeft(p, status.Seconds)) {
          std::snprintf(figures, sizeof figures, ", %.0f s left", std::ceil(*left));
          text += figures;
        }
      }
      break;
    }
    case StationState::Done: text = "done " + device + ": take it away and connect the next"; break;
    case StationState::Failed: text = "FAILED " + device + ": " + status.Reason; break;
    case StationState::SameDevice:
      text = "the same device is still connected (" + device + "): switch it off and connect the next";
      break;
    case StationState::PortLost: text = "port lost: " + status.Reason + "; trying again"; break;
    case StationState::Stopped: text = "stopped"; break;
  }
  return label + ": " + text;
}

std::string StationBoard::TotalsLine(const StationTotals& totals) {
  return "station: " + std::to_string(totals.Ok) + " ok, " + std::to_string(totals.Failed) + " failed, " +
         std::to_string(totals.Interrupted) + " interrupted";
}

void StationBoard::PortChanged(size_t port, const StationPortStatus& status) {
  std::lock_guard lock(m_Mutex);
  std::string line = StatusLine(m_Labels[port], status);
  if (!m_Redrawn) {
    // One line per event: progress is no event, a state told again neither.
    if (status.State == StationState::Programming)
      line = StatusLine(m_Labels[port], {status.State, {}, 0, status.Device, {}});
    if (line != m_Lines[port]) Event(line);
    m_Lines[port] = line;
    return;
  }
  const bool progressOnly = status.State == StationState::Programming && status.Progress.Done > 0;
  m_Lines[port] = line;
  Redraw(!progressOnly);
}

void StationBoard::DeviceEnded(size_t port, const DeviceRecord& record, const StationTotals& totals,
                               const std::string& recordError) {
  std::lock_guard lock(m_Mutex);
  m_Totals = totals;
  if (!m_Redrawn) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", record.Seconds);
    std::string line = m_Labels[port] + ": " + (record.UniqueId.empty() ? "the device" : record.UniqueId) + " " +
                       record.Verdict + ", " + seconds;
    if (!record.Reason.empty()) line += ": " + record.Reason;
    Event(line);
    Event(TotalsLine(totals));
  }
  if (!recordError.empty()) {
    // Said at once, above the board, in the words of an error.
    if (m_Redrawn && m_Drawn) {
      WriteStatus("\x1b[" + std::to_string(m_Lines.size() + 1) + "A\r\x1b[J");
      m_Drawn = false;
    }
    PrintMessage(MessageLevel::Error, "station: the record could not be written, so the station stops: %s\n",
                 recordError.c_str());
  }
  if (m_Redrawn) Redraw(true);
}

bool StationBoard::StopRequested() { return Interrupted(); }

void StationBoard::Event(const std::string& text) {
  const std::string time = IsoLocalTime(std::chrono::system_clock::now());
  WriteResult(time + " " + text + "\n");
}

void StationBoard::Redraw(bool force) {
  const Clock::time_point now = Clock::now();
  if (!force && m_Drawn && now - m_LastDraw < kRedrawPeriod) return;
  m_LastDraw = now;
  const auto columns = static_cast<size_t>(std::max(20, StatusColumns() - 1));
  std::string text;
  if (m_Drawn) text = "\x1b[" + std::to_string(m_Lines.size() + 1) + "A";
  for (const std::string& line : m_Lines) text += "\r\x1b[2K" + Fitted(line, columns) + "\n";
  text += "\r\x1b[2K" + Fitted(TotalsLine(m_Totals), columns) + "\n";
  WriteStatus(text);
  m_Drawn = true;
}

void StationBoard::Finish() {
  std::lock_guard lock(m_Mutex);
  if (!m_Redrawn) return;
  Redraw(true);
  // The totals follow as the result, in the board's last line.
  WriteStatus("\x1b[1A\r\x1b[2K");
}

}  // namespace tolvane::cli
