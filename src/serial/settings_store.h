// The per-user settings store as the core sees it: four operations. The window
// binds it to QSettings; tests use an in-memory map.
#pragma once

#include <cstdint>
#include <string>

namespace tolvane {

class ISettingsStore {
 public:
  virtual ~ISettingsStore() = default;
  virtual int32_t ReadInt(const std::string& section, const std::string& entry, int32_t def) = 0;
  virtual void WriteInt(const std::string& section, const std::string& entry, int32_t value) = 0;
  virtual std::string ReadString(const std::string& section, const std::string& entry, const std::string& def) = 0;
  virtual void WriteString(const std::string& section, const std::string& entry, const std::string& value) = 0;
};

}  // namespace tolvane
