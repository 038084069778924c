#include "device_port.h"

#include <algorithm>

namespace tolvane::cli {

bool DevicePort::Open(int32_t baud, std::string& error) {
  std::string path = m_Name;
  if (m_Name == kSimPortName) {
    m_Sim = StartBuiltInDevice(error);
    if (!m_Sim) return false;
    path = m_Sim->PortPath();
  }
  if (m_Port.OpenDevice(path, baud)) return true;
  error = m_Port.m_ErrorText;
  // The port's text ends its first line with "\r\n"; one line reads better here.
  for (size_t at = error.find("\r\n"); at != std::string::npos; at = error.find("\r\n", at)) error.replace(at, 2, ": ");
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
