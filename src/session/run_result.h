// One run on one port, start to end, as a value: what was done, how it
// ended, with which file, on which device, in how long, and the message the
// user is shown. Both programs print, show and record it from here.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "protocol/procedures.h"
#include "session/device_identity.h"
#include "session/run_options.h"

namespace tolvane {

enum class RunKind { Read, Verify, Write, Run, Capture };

// "read", "verify", "write", "run", "capture".
const char* RunKindName(RunKind kind);

struct RunResult {
  RunKind Kind = RunKind::Read;
  ProcedureStatus Status = ProcedureStatus::Done;
  std::string Port;  // the port's label
  std::string FileName;
  std::string FileSha256;
  WriteCounts Write;
  CompareCounts Compare;
  bool Compared = false;   // a comparison was made (Compare holds its counts)
  int32_t BlocksRead = 0;  // read commands answered
  DeviceIdentity Device;   // as the read found it
  std::chrono::system_clock::time_point Start;
  double Seconds = 0;
  std::optional<ProcedureOutcome> Outcome;  // the message of the end, as the window shows it
  std::string OpenError;                    // why the port could not be opened (one line), else empty
  bool CaptureInterrupted = false;          // stopped while only capture bursts (and probes) had gone out
  bool PortLost = false;                    // the port's system calls failed
  double WaitedSeconds = 0;                 // waited this long for the monitor
  std::string NoMonitor;                    // the wait ended without it: what the line carried (a line)
  RunOptions Options;                       // as the run was asked
  std::string BackupPath;                   // the backup made before the write
  double LineShare = 0;                     // reads' rate over what the line's speed allows (0: not judged)
  std::string SlowLine;                     // below kSlowLineShare: what to do about it (a line)
};

// Below this share of what its speed allows, a line is called slow.
inline constexpr double kSlowLineShare = 0.70;

// The exit code of the run (session/exit_codes.h).
int ExitCodeOf(const RunResult& result);

}  // namespace tolvane
