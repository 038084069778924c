// Options shared by the device commands (read, verify, write, run, capture).
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "serial/serial_port.h"

namespace tolvane::cli {

struct DeviceOptions {
  std::vector<std::string> Ports;  // several: the same work on each, in parallel
  int32_t Baud = kDefaultBaud;
  bool Verbose = false;
  std::string LogFile;
  double CaptureSeconds = 0;  // capture bursts before the procedure
  double WaitSeconds = 0;     // wait this long for the monitor before the procedure
  bool Json = false;          // the results as a JSON document on stdout
  std::string Report;         // append a record per port (per device) to this file
};

// A value that names something: an empty one (an unset shell variable,
// "$CAL") is a usage error instead of quietly meaning nothing.
const CLI::Validator& NotEmpty();

// Adds --port (required, repeatable), --baud, -v, --log and, unless the
// command captures by itself, --capture and --wait.
void AddDeviceOptions(CLI::App& command, DeviceOptions& options, bool withCapture = true);

// Adds --json and, with withReport, --report (a name of a record format).
void AddResultOptions(CLI::App& command, DeviceOptions& options, bool withReport);
// Adds --json alone (load, ports).
void AddJsonOption(CLI::App& command, bool& json);

}  // namespace tolvane::cli
