// The per-user settings store on QSettings: the registry path
// HKEY_CURRENT_USER\software\Quendal\Brasko_SD_Velm\Velm_SD_2017 on Windows, a
// per-user INI file with the same sections and entries elsewhere.
#pragma once

#include <QSettings>
#include <memory>

#include "serial/settings_store.h"

namespace tolvane {

inline constexpr const char* kSettingsCompany = "Quendal\\Brasko_SD_Velm";
inline constexpr const char* kSettingsApplication = "Velm_SD_2017";

class QtSettingsStore : public ISettingsStore {
 public:
  // The program's own store.
  QtSettingsStore();
  // A store in a given INI file (tests, portable use).
  explicit QtSettingsStore(const QString& iniPath);

  int32_t ReadInt(const std::string& section, const std::string& entry, int32_t def) override;
  void WriteInt(const std::string& section, const std::string& entry, int32_t value) override;
  std::string ReadString(const std::string& section, const std::string& entry, const std::string& def) override;
  void WriteString(const std::string& section, const std::string& entry, const std::string& value) override;

  QString FileName() const { return m_Settings->fileName(); }

 private:
  std::unique_ptr<QSettings> m_Settings;
};

}  // namespace tolvane
