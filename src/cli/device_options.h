// Options shared by the device commands (read, verify, write, run, capture).
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "serial/serial_port.h"
#include "session/run_options.h"

namespace tolvane::cli {

struct DeviceOptions {
  std::vector<std::string> Ports;  // several: the same work on each, in parallel
  bool Verbose = false;
  std::string LogFile;
  bool Json = false;   // the results as a JSON document on stdout
  std::string Report;  // append a record per port (per device) to this file
  // The run's options, filled here and nowhere else: the options below bind
  // straight into it, and CompleteRunOptions adds what needs a check first.
  RunOptions Run;
  std::vector<std::string> KeepText;  // --keep as given
};

// A value that names something: an empty one (an unset shell variable,
// "$CAL") is a usage error instead of quietly meaning nothing.
const CLI::Validator& NotEmpty();

// Adds --port (required, repeatable), --baud, -v, --log and, unless the
// command captures by itself, --capture and --wait.
void AddDeviceOptions(CLI::App& command, DeviceOptions& options, bool withCapture = true);

// Adds a write's ways: --changed-only, --keep and, with withBackup, --backup.
void AddWriteOptions(CLI::App& command, DeviceOptions& options, bool withBackup);
// Parses the kept ranges and checks the backup folder: false (said, a usage
// error) when either is refused.
bool CompleteRunOptions(const std::string& command, DeviceOptions& options);

// Adds --json and, with withReport, --report (a name of a record format).
void AddResultOptions(CLI::App& command, DeviceOptions& options, bool withReport);
// Adds --json alone (load, ports).
void AddJsonOption(CLI::App& command, bool& json);

}  // namespace tolvane::cli
