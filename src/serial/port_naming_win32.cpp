#include "serial/port_naming.h"

#include <cstdio>

namespace tolvane {

std::string LoadRememberedPort(ISettingsStore& store, const std::string& section, const std::string& entry) {
  int32_t n = store.ReadInt(section, entry, 0);
  return n >= 1 ? "COM" + std::to_string(n) : std::string();
}

void SaveRememberedPort(ISettingsStore& store, const std::string& section, const std::string& entry,
                        const std::string& name) {
  int n = 0;
  if (std::sscanf(name.c_str(), "COM%d", &n) != 1 || n < 1) n = 0;
  store.WriteInt(section, entry, n);
}

// A COM port through the device namespace, which reaches every number; other
// names (a line inside the program) as they are.
std::string DevicePathOf(const std::string& name) { return name.rfind("COM", 0) == 0 ? "\\\\.\\" + name : name; }

}  // namespace tolvane
