// What to do about a line slower than its speed allows, on this system: a
// USB adapter's latency timer, a hub, another adapter.
#pragma once

#include <string>

namespace tolvane {

struct LineAdvice {
  std::string Russian;  // for the log and the window
  std::string English;  // for the command line's summary
};

LineAdvice SlowLineAdvice(const std::string& portName);

}  // namespace tolvane
