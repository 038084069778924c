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
#include "serial/settings_store.h"

namespace tolvane {

inline constexpr const char* kUpdateSection = "UPDATE";

struct UpdateOptions {
  bool WaitForMonitor = false;
  bool ChangedOnly = false;
  bool Backup = false;
  bool KeepData = false;
  std::string KeepRanges;  // as ParseKeepRanges reads them

  static UpdateOptions Load(ISettingsStore& settings);
  void Save(ISettingsStore& settings) const;
  // The window's one filler of a run's options, for a run of this kind:
  // false (why in the window's words) when the kept ranges are refused.
  bool Fill(RunKind kind, RunOptions& options, QString& why) const;
};

// The kept ranges of a text as ParseKeepRanges reads them; a blank text
// keeps nothing. When the text is refused: false, and why in the window's
// words (a sentence per kind of fault, naming the item at fault).
bool ReadKeepRanges(const std::string& text, std::vector<FlashRange>& ranges, QString& why);

// How long the window waits for a monitor that does not answer.
inline constexpr double kWindowWaitSeconds = 60;
// How many backups of a device the window keeps.
inline constexpr int kWindowBackupsKept = 10;

// Where the window keeps what it makes for the user: backups, the history of
// its runs (the per-user data folder).
QString UserDataFolder();
QString BackupFolder();
// The record of each write and verification, appended (CSV).
QString HistoryFile();

}  // namespace tolvane
