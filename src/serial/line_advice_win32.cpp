#include "serial/line_advice.h"

namespace tolvane {

LineAdvice SlowLineAdvice(const std::string&) {
  return {std::string("в Диспетчере устройств откройте свойства адаптера (Порты COM и LPT), «Параметры порта», "
                      "«Дополнительно» и поставьте таймер задержки (Latency Timer) 1 мс; ")
              .append(kCableAdviceRussian),
          std::string("in the Device Manager open the adapter's properties (Ports (COM & LPT)), Port Settings, "
                      "Advanced, and set its Latency Timer to 1 ms; ")
              .append(kCableAdviceEnglish)};
}

}  // namespace tolvane
