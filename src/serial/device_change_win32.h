// WM_DEVICECHANGE as the port selector takes it: the message's event code
// (wParam) and its DEV_BROADCAST_HDR (lParam, may be null).
#pragma once

#include "serial/device_change.h"

#include <cstdint>

namespace tolvane {

DeviceChange DeviceChangeFromMessage(uintptr_t wParam, intptr_t lParam);

}  // namespace tolvane
