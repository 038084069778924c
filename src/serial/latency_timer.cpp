#include "serial/latency_timer.h"

#include <fstream>

namespace tolvane {

std::optional<int32_t> ReadLatencyTimer(const std::string& deviceDir) {
  std::ifstream file(deviceDir + "/latency_timer");
  int32_t ms = 0;
  if (!(file >> ms)) return std::nullopt;
  return ms;
}

std::string LatencyAdvice(const std::string& portName, int32_t timerMs) {
  if (timerMs <= 1) return {};
  std::string shortName = portName.substr(portName.find_last_of('/') + 1);
  return "Порт " + portName + ": таймер задержки адаптера " + std::to_string(timerMs) +
         " мс, каждый ответ устройства запаздывает на столько же; уменьшить до 1 мс: "
         "echo 1 | sudo tee /sys/bus/usb-serial/devices/" +
         shortName + "/latency_timer\n";
}

}  // namespace tolvane
