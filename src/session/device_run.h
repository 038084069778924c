// One run on one open port: capture bursts first if asked, then the
// procedure, and its result as a value. The command line runs it on each of
// its ports, the window on its own port, on a worker thread; both go
// through here, so a rule of a run lives in one place.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "image/firmware_image.h"
#include "serial/byte_port.h"
#include "serial/serial_port.h"
#include "session/firmware_file.h"
#include "session/run_reporter.h"
#include "session/run_result.h"

namespace tolvane {

struct RunRequest {
  RunKind Kind = RunKind::Read;
  const FirmwareFile* File = nullptr;  // verify, write (a write's file admitted with AdmitForWrite)
  std::string PortLabel;
  // Capture bursts before the procedure, this long (0: none); a capture run
  // sends them this long, or until stopped when 0.
  double CaptureSeconds = 0;
  // Wait up to this long for the device's monitor before the procedure
  // (capture bursts and probes: WaitForMonitor); 0: no wait.
  double WaitSeconds = 0;
  // A write's options: only what changed; the device's own data kept.
  bool ChangedOnly = false;
  std::vector<FlashRange> Keep;
  // Back the device up into this folder before a write (empty: no backup);
  // keep this many of a device's backups (0: all).
  std::string BackupDir;
  int BackupKeep = 0;
  // The line's speed and the port's system name, to judge its rate by.
  int32_t Baud = kDefaultBaud;
  std::string PortName;
};

// Runs the request on the port into device (the image is not cleared first;
// a read that breaks off leaves it partly updated).
RunResult RunOnPort(IBytePort& port, const RunRequest& request, FirmwareImage& device, IRunReporter& reporter);

// The one check before a write: a file with nothing to write is refused with
// its message; a suspect one is written only when confirm(question) says yes
// (a "no" is the user's own answer: no message of its own).
struct WriteAdmission {
  bool Admitted = false;
  std::optional<ProcedureOutcome> Refusal;
};
WriteAdmission AdmitForWrite(const FirmwareFile* file, const std::function<bool(const std::string& question)>& confirm);

}  // namespace tolvane
