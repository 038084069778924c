#include "serial/device_change.h"

namespace tolvane {

DeviceChange DeviceChangeFromCodes(uint32_t event, uint32_t deviceType) {
  DeviceChange change;
  switch (event) {
    case 0x8000: change.Event = DeviceEvent::Arrival; break;
    case 0x8003: change.Event = DeviceEvent::RemovePending; break;
    case 0x8004: change.Event = DeviceEvent::RemoveComplete; break;
    default: change.Event = DeviceEvent::Other; break;
  }
  change.Kind = deviceType == 3 ? DeviceKind::Port : DeviceKind::Other;
  return change;
}

}  // namespace tolvane
