#include "session/idle_line.h"

namespace tolvane {

std::optional<ReceiveTickResult> IdleLine::Turn(bool capture) {
  if (capture) Burst();
  const auto now = std::chrono::steady_clock::now();
  if (m_NextTick && now < *m_NextTick) return std::nullopt;
  m_NextTick = now + std::chrono::milliseconds(link::kReceivePeriodMs);
  return Receive();
}

}  // namespace tolvane
