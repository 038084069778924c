#include "session/device_target.h"

#include "serial/system_error.h"
#include "session/built_in_device.h"

namespace tolvane {

bool DeviceTarget::Open(int32_t baud, const std::atomic<bool>* stop, std::string* error) {
  std::string path = m_Name;
  SimPace pace = kDefaultSimPace;
  if (IsBuiltInDeviceName(m_Name, pace)) {
    m_Sim = StartBuiltInDevice(pace, error);
    if (!m_Sim) return false;
    path = m_Sim->PortPath();
  }
  m_Port.SetStopFlag(stop);
  if (m_Port.OpenDevice(path, baud)) return true;
  if (error != nullptr) *error = OneLine(m_Port.ErrorText());
  return false;
}

}  // namespace tolvane
