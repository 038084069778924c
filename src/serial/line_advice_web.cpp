#include "serial/line_advice.h"

namespace tolvane {

// A page cannot reach the adapter's settings: only the cable's way is left.
LineAdvice SlowLineAdvice(const std::string& portName) {
  (void)portName;
  LineAdvice advice;
  advice.Russian = "подключите адаптер прямо к компьютеру, без концентратора, или возьмите другой адаптер";
  advice.English = "plug the adapter straight into the computer, not through a hub, or try another adapter";
  return advice;
}

}  // namespace tolvane
