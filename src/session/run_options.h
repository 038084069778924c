// How a run goes about its work beyond its kind and its file: one value,
// built once by each program from its own inputs (the command line's
// options, the window's remembered items), carried whole through a write, a
// verify, several ports and the station, and copied whole into the run's
// result (RunOnPort) and from there into its record (RecordOf). A new option
// or a new field of the record is a member here, its filler in each program,
// its presentation and its documentation; nothing in between copies it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/procedures.h"
#include "serial/serial_port.h"

namespace tolvane {

struct RunOptions {
  // The line's speed: the port is opened at it and its rate judged by it.
  int32_t Baud = kDefaultBaud;
  // Capture bursts before the procedure, this long (0: none); a capture run
  // sends them this long, or until stopped when 0.
  double CaptureSeconds = 0;
  // Wait up to this long for the device's monitor before the procedure
  // (capture bursts and probes); 0: no wait.
  double WaitSeconds = 0;
  // A write's ways: only what changed; the device's own data kept; a backup
  // into BackupDir first (empty: none), keeping BackupKeep of a device's
  // backups (0: all).
  bool ChangedOnly = false;
  std::vector<FlashRange> Keep;
  std::string BackupDir;
  int BackupKeep = 0;
  // Start the firmware after a write that ended well (the station).
  bool RunAfterWrite = false;
};

}  // namespace tolvane
