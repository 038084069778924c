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
#include "session/run_options.h"
#include "session/run_reporter.h"
#include "session/write_options.h"
#include "session/run_result.h"

namespace tolvane {

struct RunRequest {
  RunKind Kind = RunKind::Read;
  const FirmwareFile* File = nullptr;  // verify, write (a write's file admitted with AdmitForWrite)
  std::string PortLabel;               // as the result and the record name the port
  std::string PortName;                // the port's system name, for advice on a slow line
  RunOptions Options;
  // Where a backup goes when the options ask for one (null: files in
  // Options.BackupDir).
  IBackupStore* Backups = nullptr;
};

// The result of a request before anything is done: what, with which file,
// on which port, when; a port that could not be opened ends here.
RunResult ResultOf(const RunRequest& request);

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
