#include "serial/line_advice.h"

namespace tolvane {

// A page cannot reach the adapter's settings: only the cable's way is left.
LineAdvice SlowLineAdvice(const std::string& portName) {
  (void)portName;
  return {kCableAdviceRussian, kCableAdviceEnglish};
}

}  // namespace tolvane
