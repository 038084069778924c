// The line between procedures, for every program: capture bursts while the
// device is to be caught, and the receive tick that drains, traces and
// measures what arrives and says when a read of the port failed. Each
// program drives it from its own clock (the window's timers, a capture
// run's loop, the page's event loop); what a burst and a tick are, and how
// often a loop does each, lives here.
#pragma once

#include <chrono>
#include <optional>

#include "protocol/link.h"

namespace tolvane {

class IdleLine {
 public:
  explicit IdleLine(IBytePort& port, int32_t baud = kDefaultBaud) : m_Link(port, baud) {}

  // A capture burst, when the line is ready for one.
  bool Burst() { return m_Link.SendCaptureBurst(); }
  // The receive tick.
  ReceiveTickResult Receive() { return m_Receive.Tick(m_Link.Port()); }
  // One turn of a loop that does both: a burst when capturing, and the
  // receive tick once its period has passed since the last (the first turn
  // ticks). Returns the tick when there was one.
  std::optional<ReceiveTickResult> Turn(bool capture);

 private:
  MonitorLink m_Link;
  ReceiveMonitor m_Receive;
  std::optional<std::chrono::steady_clock::time_point> m_NextTick;
};

}  // namespace tolvane
