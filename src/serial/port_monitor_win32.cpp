// Windows broadcasts port arrival and removal to top-level windows as
// WM_DEVICECHANGE; there is no descriptor to watch.
#include "serial/device_change.h"
#include "serial/device_change_win32.h"

#include <windows.h>
#include <dbt.h>

namespace tolvane {

struct OPortMonitor::Impl {};

OPortMonitor::OPortMonitor() : m_Impl(std::make_unique<Impl>()) {}
OPortMonitor::~OPortMonitor() = default;
int OPortMonitor::Fd() const { return -1; }
bool OPortMonitor::Receive(DeviceChange&) { return false; }

DeviceChange DeviceChangeFromMessage(uintptr_t wParam, intptr_t lParam) {
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
  uint32_t type = header != nullptr ? static_cast<uint32_t>(header->dbch_devicetype) : 0xFFFFFFFFu;
  return DeviceChangeFromCodes(static_cast<uint32_t>(wParam), type);
}

}  // namespace tolvane
