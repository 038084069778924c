// The ways of updating a device that a person ticks in the window or on the
// web page, beyond the write its buttons make: waiting for the monitor,
// writing only what changed, a backup before a write, keeping the device's
// own data in ranges. Off at first (a write then works as it always has);
// each program remembers them in its own store.
#pragma once

#include <string>
#include <vector>

#include "protocol/outcome.h"
#include "session/run_options.h"
#include "session/run_result.h"

namespace tolvane {

struct UpdateChoices {
  bool WaitForMonitor = false;
  bool ChangedOnly = false;
  bool Backup = false;
  bool KeepData = false;
  std::string KeepRanges;  // as ParseKeepRanges reads them
};

// How long the window and the page wait for a monitor that does not answer.
inline constexpr double kWindowWaitSeconds = 60;
// How many backups of a device the window and the page keep.
inline constexpr int kWindowBackupsKept = 10;

// The one filler of a run's options from the choices, for a run of this
// kind; backups: where the program keeps them (BackupDir). False (why as
// ReadKeepRanges, session/write_options.h, says it) when the kept ranges are refused.
bool FillRunOptions(const UpdateChoices& choices, RunKind kind, const std::string& backups, RunOptions& options,
                    std::string& why);

// The message of a write refused for its kept ranges.
ProcedureOutcome KeepRangesRefusal(const std::string& why);

}  // namespace tolvane
