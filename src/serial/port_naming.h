// How a chosen port is remembered and reached on this platform: Windows keeps
// the COM number as an integer and opens "\\.\COMn"; elsewhere the name is
// kept as it is and is the device's path.
#pragma once

#include "serial/settings_store.h"

#include <string>

namespace tolvane {

// "" when nothing is remembered.
std::string LoadRememberedPort(ISettingsStore& store, const std::string& section, const std::string& entry);
// "" stores "no port".
void SaveRememberedPort(ISettingsStore& store, const std::string& section, const std::string& entry,
                        const std::string& name);
// What OSerialPort::OpenDevice is given for a listed port.
std::string DevicePathOf(const std::string& name);

}  // namespace tolvane
