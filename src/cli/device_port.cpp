#include "device_port.h"

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

}  // namespace tolvane::cli
