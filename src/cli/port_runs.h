// Runs one request on every --port given: a thread per port, each opening
// its own port (or built-in device) and running the session's run on it;
// then the outcome and the lines of each, and the worst exit code.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "device_options.h"
#include "session/device_record.h"
#include "session/device_run.h"

namespace tolvane::cli {

// After a port's run: what the command does with its device image (save it,
// print it); it may add lines and make the exit code worse.
using AfterRun = std::function<void(const RunResult& result, const FirmwareImage& device,
                                    std::vector<std::string>& lines, int& exitCode)>;

struct PortsRun {
  PortsRun(const DeviceOptions& options, RunRequest request, bool showProgress = true)
      : Options(options), Request(std::move(request)), ShowProgress(showProgress) {}

  const DeviceOptions& Options;
  RunRequest Request;
  bool ShowProgress;  // the run has blocks to count
  AfterRun After;
};

// With --report, a record per port is appended as each ends; with --json
// the records are the document on stdout.
int RunOnPorts(const PortsRun& run);

// The records as the JSON document on stdout: a list of objects.
void WriteJsonRecords(const std::vector<DeviceRecord>& records);

// The one admission of a file to be written (refused: said, and false).
bool AdmitRunFile(const FirmwareFile& file, bool force);

// A request of the kind with the device options' run options.
RunRequest RequestFor(RunKind kind, const DeviceOptions& options, const FirmwareFile* file = nullptr);

// The labels of the ports given: each name as it is, a name given more than
// once numbered by its occurrence ("sim#1", "sim#2").
std::vector<std::string> PortLabels(const std::vector<std::string>& names);

// The ports given, each once: a system port named twice (or through a
// link) would be opened by two runs at once. A built-in device's name starts
// a device of its own each time. Empty, or the reason (a usage error).
std::string CheckPorts(const std::vector<std::string>& names);

// Runs a device command with the trace routed as -v and --log ask, and the
// results as --json asks. Before anything is opened, the ports, the log and
// the report are checked (usage errors): files are the command's input and
// output files, which neither the log nor the report may be. A trace that
// could not be written is said at the end.
int WithTrace(const DeviceOptions& options, const std::vector<std::string>& files, const std::function<int()>& command);

// Opens the --report file, if one is given: false (said once, with its
// path) when it cannot be; a report carried forward to today's columns is
// said too.
bool OpenReport(const DeviceOptions& options, RecordFile& report);

// Loads the file of a verify or a write, for every port at once; false (with
// the command's message on stderr) when it cannot be read.
bool LoadRunFile(const std::string& command, const std::string& path, FirmwareFile& file);

}  // namespace tolvane::cli
