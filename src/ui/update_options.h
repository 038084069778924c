// The window's own ways of updating a device, beyond the write its buttons
// make: each a check item of the view's context menu, remembered in the
// settings store, off at first start (the window then works as it always
// has): waiting for the monitor, writing only what changed, a backup before
// a write, keeping the device's own data in ranges.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "protocol/procedures.h"
#include "session/run_options.h"
#include "session/run_result.h"
#include "session/update_choices.h"
#include "serial/settings_store.h"

namespace tolvane {

inline constexpr const char* kUpdateSection = "UPDATE";

// The choices as the window remembers them.
struct UpdateOptions : UpdateChoices {
  static UpdateOptions Load(ISettingsStore& settings);
  void Save(ISettingsStore& settings) const;
};

// Where the window keeps what it makes for the user: backups, the history of
// its runs (the per-user data folder).
QString UserDataFolder();
QString BackupFolder();
// The record of each write and verification, appended (CSV).
QString HistoryFile();

}  // namespace tolvane
