#include "serial/line_advice.h"

#include "serial/latency_timer.h"

namespace tolvane {

LineAdvice SlowLineAdvice(const std::string& portName) {
  const std::string shortName = portName.substr(portName.find_last_of('/') + 1);
  const std::string timerFile = "/sys/bus/usb-serial/devices/" + shortName + "/latency_timer";
  LineAdvice advice;
  if (ReadLatencyTimer("/sys/bus/usb-serial/devices/" + shortName)) {
    advice.Russian = "уменьшите таймер задержки адаптера FTDI до 1 мс: echo 1 | sudo tee " + timerFile + "; ";
    advice.English = "lower the FTDI adapter's latency timer to 1 ms: echo 1 | sudo tee " + timerFile + "; ";
  }
  advice.Russian += kCableAdviceRussian;
  advice.English += kCableAdviceEnglish;
  return advice;
}

}  // namespace tolvane
