// USB serial adapters of the FTDI kind hold received bytes for their latency
// timer (16 ms by default) before passing them on. Every request/reply
// turnaround pays it, which adds most of a minute to a write and verify, so
// the port says so once at open when the timer stays above 1 ms.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tolvane {

// The timer in ms from the sysfs directory of the tty's device (the file
// latency_timer in it); nothing when the adapter has none.
std::optional<int32_t> ReadLatencyTimer(const std::string& deviceDir);

// The line logged for a port whose timer is above 1 ms (empty otherwise).
std::string LatencyAdvice(const std::string& portName, int32_t timerMs);

}  // namespace tolvane
