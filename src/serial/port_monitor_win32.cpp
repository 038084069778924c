// Windows broadcasts port arrival and removal to top-level windows as
// WM_DEVICECHANGE; there is no descriptor to watch.
#include "serial/device_change.h"

namespace tolvane {

struct OPortMonitor::Impl {};

OPortMonitor::OPortMonitor() : m_Impl(std::make_unique<Impl>()) {}
OPortMonitor::~OPortMonitor() = default;
int OPortMonitor::Fd() const { return -1; }
bool OPortMonitor::Receive(DeviceChange&) { return false; }

}  // namespace tolvane
