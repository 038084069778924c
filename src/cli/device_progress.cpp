#include "device_progress.h"

#include <cstdio>
#include <string>

#include "console_output.h"
#include "log/terminal.h"

namespace tolvane::cli {

namespace {
constexpr auto kRedrawPeriod = std::chrono::milliseconds(100);
constexpr int32_t kBarWidth = 30;
}  // namespace

ProgressBoard::ProgressBoard(bool enabled, size_t ports)
    : m_Enabled(enabled), m_Controls(enabled && EnableTerminalControls(stderr)), m_Slots(ports) {}

// Back to the start of the line, the text, and the rest of the old text
// erased: by the terminal where it takes control sequences, else by blanks.
void ProgressBoard::Draw(const std::string& text) {
  std::string line = "\r" + text;
  if (m_Controls) {
    line += "\x1b[K";
  } else if (text.size() < m_DrawnWidth) {
    line.append(m_DrawnWidth - text.size(), ' ');
    line += "\r" + text;
  }
  m_DrawnWidth = text.size();
  Write(stderr, line);
}

std::string ProgressBoard::Line(int32_t done, int32_t total, int64_t bytes, int64_t totalBytes, double seconds,
                                size_t ports) {
  const double share = total > 0 ? static_cast<double>(done) / total : 0.0;
  const auto filled = static_cast<int32_t>(share * kBarWidth);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kBarWidth - filled), '.');
  char text[160];
  const double rate = seconds > 0 ? static_cast<double>(bytes) / seconds : 0.0;
  int n = std::snprintf(text, sizeof text, "[%s] %d/%d blocks  %.0f B/s", bar.c_str(), done, total, rate);
  if (rate > 0 && done < total && n > 0) {
    // Write blocks take longer than read blocks: the time left goes by bytes.
    const auto left = static_cast<int64_t>(static_cast<double>(totalBytes - bytes) / rate + 0.5);
    std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "  %lld:%02lld left",
                  static_cast<long long>(left / 60), static_cast<long long>(left % 60));
  }
  std::string line = text;
  if (ports > 1) line += "  (" + std::to_string(ports) + " ports)";
  return line;
}

void ProgressBoard::Update(size_t slot, int32_t done, int32_t total, int64_t bytes, int64_t totalBytes) {
  if (!m_Enabled) return;
  std::lock_guard lock(m_Mutex);
  m_Slots[slot] = {done, total, bytes, totalBytes};
  const Clock::time_point now = Clock::now();
  if (now - m_LastDraw < kRedrawPeriod && done != total) return;
  m_LastDraw = now;
  int32_t sumDone = 0, sumTotal = 0;
  int64_t sumBytes = 0, sumTotalBytes = 0;
  for (const Slot& s : m_Slots) {
    sumDone += s.Done;
    sumTotal += s.Total;
    sumBytes += s.Bytes;
    sumTotalBytes += s.TotalBytes;
  }
  const double seconds = std::chrono::duration<double>(now - m_Start).count();
  Draw(Line(sumDone, sumTotal, sumBytes, sumTotalBytes, seconds, m_Slots.size()));
  m_Drawn = true;
}

void ProgressBoard::Finish() {
  std::lock_guard lock(m_Mutex);
  if (!m_Drawn) return;
  Draw("");
  Write(stderr, "\r");
  m_Drawn = false;
}

}  // namespace tolvane::cli
