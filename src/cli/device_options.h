// Options shared by the device commands (read, verify, write, run, capture)
// and the routing of the trace they ask for.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "log/console_log.h"

namespace tolvane::cli {

struct DeviceOptions {
  std::vector<std::string> Ports;  // several: the same work on each, in parallel
  int32_t Baud = 57600;
  bool Verbose = false;
  std::string LogFile;
  double CaptureSeconds = 0;  // capture bursts before the procedure
};

// Adds --port (required, repeatable), --baud, -v, --log and, unless the
// command captures by itself, --capture.
void AddDeviceOptions(CLI::App& command, DeviceOptions& options, bool withCapture = true);

// Sends the trace to stderr (-v) and to a file (--log) for as long as it lives.
class TraceRouting {
 public:
  TraceRouting(bool toTerminal, const std::string& logFile);
  ~TraceRouting();
  TraceRouting(const TraceRouting&) = delete;
  TraceRouting& operator=(const TraceRouting&) = delete;
  // False when the log file could not be opened.
  bool Ok() const { return m_Ok; }

 private:
  std::vector<std::shared_ptr<LogSink>> m_Sinks;
  bool m_Ok = true;
};

}  // namespace tolvane::cli
