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

// What the advice ends with on every system: the cable's way.
inline constexpr const char* kCableAdviceRussian =
    "подключите адаптер прямо к компьютеру, без концентратора, или возьмите другой адаптер";
inline constexpr const char* kCableAdviceEnglish =
    "plug the adapter straight into the computer, not through a hub, or try another adapter";

}  // namespace tolvane
