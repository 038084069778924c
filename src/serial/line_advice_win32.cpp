#include "serial/line_advice.h"

namespace tolvane {

LineAdvice SlowLineAdvice(const std::string&) {
  return {
      "в Диспетчере устройств откройте свойства адаптера (Порты COM и LPT), «Параметры порта», "
      "«Дополнительно» и поставьте таймер задержки (Latency Timer) 1 мс; подключите адаптер прямо к "
      "компьютеру, без концентратора, или возьмите другой адаптер",
      "in the Device Manager open the adapter's properties (Ports (COM & LPT)), Port Settings, Advanced, and "
      "set its Latency Timer to 1 ms; plug the adapter straight into the computer, not through a hub, or try "
      "another adapter"};
}

}  // namespace tolvane
