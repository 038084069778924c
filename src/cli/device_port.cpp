#include "device_port.h"

#include <algorithm>

#include "device_interrupt.h"
#include "serial/system_error.h"

namespace tolvane::cli {

bool DevicePort::Open(int32_t baud, std::string& error) {
  std::string path = m_Name;
  if (m_Name == kSimPortName) {
    m_Sim = StartBuiltInDevice(error);
    if (!m_Sim) return false;
    path = m_Sim->PortPath();
  }
  // A write blocked on a stalled line gives up at Ctrl-C instead of waiting.
  m_Port.SetStopFlag(&InterruptFlag());
  if (m_Port.OpenDevice(path, baud)) return true;
  error = OneLine(m_Port.ErrorText());
  return false;
}

std::vector<std::string> PortLabels(const std::vector<std::string>& names) {
  std::vector<std::string> labels;
  for (size_t i = 0; i < names.size(); ++i) {
    const auto count = std::count(names.begin(), names.end(), names[i]);
    if (count == 1) {
      labels.push_back(names[i]);
      continue;
    }
    const auto occurrence = std::count(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(i), names[i]) + 1;
    labels.push_back(names[i] + "#" + std::to_string(occurrence));
  }
  return labels;
}

}  // namespace tolvane::cli
