#include "device_progress.h"

#include <cstdio>
#include <string>

namespace tolvane::cli {

namespace {
constexpr auto kRedrawPeriod = std::chrono::milliseconds(100);
constexpr int32_t kBarWidth = 30;
}  // namespace

ProgressBoard::ProgressBoard(bool enabled, size_t ports) : m_Enabled(enabled), m_Slots(ports) {}

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
  std::fprintf(stderr, "\r%s\x1b[K", Line(sumDone, sumTotal, sumBytes, sumTotalBytes, seconds, m_Slots.size()).c_str());
  std::fflush(stderr);
  m_Drawn = true;
}

void ProgressBoard::Finish() {
  std::lock_guard lock(m_Mutex);
  if (!m_Drawn) return;
  std::fputs("\r\x1b[K", stderr);
  std::fflush(stderr);
  m_Drawn = false;
}

}  // namespace tolvane::cli
