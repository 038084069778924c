#include "serial/port_naming.h"

namespace tolvane {

std::string LoadRememberedPort(ISettingsStore& store, const std::string& section, const std::string& entry) {
  return store.ReadString(section, entry, "");
}

void SaveRememberedPort(ISettingsStore& store, const std::string& section, const std::string& entry,
                        const std::string& name) {
  store.WriteString(section, entry, name);
}

std::string DevicePathOf(const std::string& name) { return name; }

}  // namespace tolvane
