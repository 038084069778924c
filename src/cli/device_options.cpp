#include "device_options.h"
#include "number_checks.h"
#include "output_path.h"
#include "reporter.h"
#include "session/device_record.h"
#include "session/write_options.h"

namespace tolvane::cli {

const CLI::Validator& NotEmpty() {
  static const CLI::Validator check(
      [](std::string& value) -> std::string { return value.empty() ? "an empty value names nothing" : ""; }, "");
  return check;
}

void AddDeviceOptions(CLI::App& command, DeviceOptions& options, bool withCapture) {
  command
      .add_option("--port", options.Ports,
                  "Serial port of the device (/dev/ttyUSB0, COM3), or 'sim' for a built-in "
                  "simulated device; repeat it to program several devices at once")
      ->required()
      ->allow_extra_args(false);
  command.add_option("--baud", options.Run.Baud, "Line speed")->check(CLI::Range(50, 4000000));
  command.add_flag("-v,--verbose", options.Verbose, "Print the whole trace on stderr");
  command.add_option("--log", options.LogFile, "Append the trace to this file")->check(NotEmpty());
  if (withCapture) {
    command
        .add_option("--capture", options.Run.CaptureSeconds,
                    "Send capture bursts for this many seconds first (reset the device meanwhile)")
        ->check(FiniteRange(0.0, 3600.0));
    command
        .add_option("--wait", options.Run.WaitSeconds,
                    "Wait up to this many seconds for the device's monitor (switch the device on or restart it "
                    "meanwhile), then go on")
        ->check(FiniteRange(0.0, 3600.0));
  }
}

void AddWriteOptions(CLI::App& command, DeviceOptions& options, bool withBackup) {
  command.add_flag("--changed-only", options.Run.ChangedOnly,
                   "Send only the blocks that differ from the file (every block is still read and compared)");
  command
      .add_option("--keep", options.KeepText,
                  "ADDR:LEN (C-style numbers): the device's own bytes there survive the write; repeatable")
      ->allow_extra_args(false)
      ->check(NotEmpty());
  if (!withBackup) return;
  command
      .add_option("--backup", options.Run.BackupDir,
                  "Save what the device holds into this folder first, as UID-TIME.hex")
      ->check(NotEmpty());
}

bool CompleteRunOptions(const std::string& command, DeviceOptions& options) {
  std::string error;
  if (!ParseKeepRanges(options.KeepText, options.Run.Keep, &error)) {
    PrintMessage(MessageLevel::Error, "%s: --keep %s\n", command.c_str(), error.c_str());
    return false;
  }
  if (options.Run.BackupDir.empty()) return true;
  if (const std::string refusal = CheckWrittenFolder(options.Run.BackupDir); !refusal.empty()) {
    PrintMessage(MessageLevel::Error, "%s: --backup %s\n", command.c_str(), refusal.c_str());
    return false;
  }
  return true;
}

void AddJsonOption(CLI::App& command, bool& json) {
  command.add_flag("--json", json, "Print the results as one JSON document on stdout (the rest goes to stderr)");
}

void AddResultOptions(CLI::App& command, DeviceOptions& options, bool withReport) {
  AddJsonOption(command, options.Json);
  if (!withReport) return;
  command
      .add_option("--report", options.Report,
                  "Append a record of each device to this file: REPORT.csv (a header row) or REPORT.jsonl")
      ->check(CLI::Validator(
          [](std::string& name) -> std::string {
            if (RecordFormatOf(name)) return {};
            return "the report's name must end in .csv or .jsonl: " + name;
          },
          "FILE.csv|FILE.jsonl"));
}

}  // namespace tolvane::cli
