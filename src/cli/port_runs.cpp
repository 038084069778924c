#include "port_runs.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

#include <nlohmann/json.hpp>

#include "device_interrupt.h"
#include "log/file_open.h"
#include "output_path.h"
#include "reporter.h"
#include "result_lines.h"
#include "session/built_in_device.h"
#include "session/device_record.h"
#include "session/device_target.h"
#include "session/port_threads.h"
#include "session/exit_codes.h"
#include "trace_routing.h"

namespace tolvane::cli {
namespace {

// A port's side of the run: its progress on the board, its messages with
// the port's name, the interrupt as the stop.
class PortReporter : public IRunReporter {
 public:
  PortReporter(ProgressBoard& board, size_t slot, std::string prefix)
      : m_Board(board), m_Slot(slot), m_Prefix(std::move(prefix)) {}
  void Progress(const RunProgress& progress) override { m_Board.Update(m_Slot, progress); }
  void Waiting(double secondsLeft) override {
    // Without a terminal the wait is said once, when it starts.
    if (!m_Board.Waiting(m_Slot, secondsLeft) && !m_Said && secondsLeft > 0) {
      m_Said = true;
      WriteMessage(MessageLevel::Info, m_Prefix + "waiting up to " +
                                           std::to_string(static_cast<int>(secondsLeft + 0.5)) +
                                           " s for the monitor: switch the device on or restart it\n");
    }
  }
  void Message(MessageLevel level, const std::string& text) override { WriteMessage(level, m_Prefix + text + "\n"); }
  bool StopRequested() override { return Interrupted(); }

 private:
  ProgressBoard& m_Board;
  size_t m_Slot;
  std::string m_Prefix;
  bool m_Said = false;
};

struct PortState {
  RunResult Result;
  std::vector<std::string> Lines;
  int ExitCode = kExitOk;
  DeviceRecord Record;      // as --report and --json give it
  std::string RecordError;  // the record could not be appended to the report
};

void Serve(const PortsRun& run, const std::string& name, const std::string& label, ProgressBoard& board, size_t slot,
           IRecordSink* report, PortState& state) {
  // Capture status lines name the port even when it is the only one.
  PortReporter reporter(board, slot, label + ": ");
  DeviceTarget target(name);
  std::string error;
  FirmwareImage device;
  RunRequest request = run.Request;
  request.PortLabel = label;
  request.PortName = name;
  if (target.Open(request.Options.Baud, &InterruptFlag(), &error)) {
    state.Result = RunOnPort(target.Port(), request, device, reporter);
  } else {
    state.Result = ResultOf(request);
    state.Result.OpenError = error;
  }
  state.Lines = ResultLines(state.Result);
  state.ExitCode = ExitCodeOf(state.Result);
  if (run.After && state.Result.OpenError.empty()) run.After(state.Result, device, state.Lines, state.ExitCode);
  // On the disk as soon as the port is done, whatever the others still do.
  state.Record = RecordOf(state.Result);
  if (report != nullptr && RunIsRecorded(state.Result.Kind) && !report->Append(state.Record, &state.RecordError))
    state.ExitCode = std::max(state.ExitCode, kExitFile);
}

}  // namespace

RunRequest RequestFor(RunKind kind, const DeviceOptions& options, const FirmwareFile* file) {
  return RunRequest{kind, file, {}, {}, options.Run};
}

std::vector<std::string> PortLabels(const std::vector<std::string>& names) {
  std::vector<std::string> labels;
  for (size_t i = 0; i < names.size(); ++i) {
    const auto count = std::count(names.begin(), names.end(), names[i]);
    if (count == 1) {
      labels.push_back(names[i]);
      continue;
    }
    const auto occurrence = std::count(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(i), names[i]) + 1;
    labels.push_back(names[i] + "#" + std::to_string(occurrence));
  }
  return labels;
}

int RunOnPorts(const PortsRun& run) {
  const std::vector<std::string>& names = run.Options.Ports;
  const bool several = names.size() > 1;
  RecordFile report;
  if (!OpenReport(run.Options, report)) return kExitFile;
  CatchInterrupt();
  ProgressBoard board(!run.Options.Verbose && ProgressShown(), names.size(), run.ShowProgress);
  const std::vector<std::string> labels = PortLabels(names);
  std::vector<PortState> states(names.size());
  IRecordSink* reportTo = run.Options.Report.empty() ? nullptr : &report;
  ForEachPort(labels, [&](size_t i) { Serve(run, names[i], labels[i], board, i, reportTo, states[i]); });
  board.Finish();

  int worst = kExitOk;
  for (size_t i = 0; i < states.size(); ++i) {
    const std::string prefix = several ? labels[i] + ": " : "";
    const PortState& state = states[i];
    if (state.Result.Outcome) {
      PrintResultLines(prefix, state.Result.Outcome->Caption);
      PrintResultLines(prefix, state.Result.Outcome->Text);
    }
    for (const std::string& line : state.Lines) PrintResultLines(prefix, line);
    if (!state.RecordError.empty())
      PrintMessage(MessageLevel::Error, "%sthe record could not be written to %s: %s\n", prefix.c_str(),
                   run.Options.Report.c_str(), state.RecordError.c_str());
    worst = std::max(worst, state.ExitCode);
  }
  if (several) {
    for (size_t i = 0; i < states.size(); ++i) {
      const PortState& state = states[i];
      const std::string outcome =
          state.Result.Outcome ? state.Result.Outcome->Caption : (state.ExitCode == kExitOk ? "OK" : "FAILED");
      PrintResult("%s: %s, exit %d, %.1f s\n", labels[i].c_str(), outcome.c_str(), state.ExitCode,
                  state.Result.Seconds);
    }
  }
  if (run.Options.Json) {
    std::vector<DeviceRecord> records;
    for (const PortState& state : states) records.push_back(state.Record);
    WriteJsonRecords(records);
  }
  return worst;
}

void WriteJsonRecords(const std::vector<DeviceRecord>& records) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const DeviceRecord& record : records) list.push_back(RecordJson(record));
  WriteJson(list);
}

bool AdmitRunFile(const FirmwareFile& file, bool force) {
  // Admitted once for every port, before any port is opened or captured: a
  // file without program data, or a damaged one without --force, is refused.
  const WriteAdmission admission = AdmitForWrite(&file, [force](const std::string& question) {
    PrintMessage(MessageLevel::Warning, "%s\n%s\n", question.c_str(),
                 force ? "--force: writing it." : "Not written; give --force to write it anyway.");
    return force;
  });
  if (admission.Admitted) return true;
  // Nothing to write is refused with its own words; a suspect file for want
  // of --force, in the words of the question.
  const ProcedureOutcome refusal = admission.Refusal ? *admission.Refusal : SuspectRefusal(file.Load);
  NoteError(OutcomeLine(refusal));
  PrintResultLines("", refusal.Caption);
  PrintResultLines("", refusal.Text);
  return false;
}

std::string CheckPorts(const std::vector<std::string>& names) {
  SimPace pace = kDefaultSimPace;
  for (size_t i = 0; i < names.size(); ++i) {
    if (IsBuiltInDeviceName(names[i], pace)) continue;
    for (size_t j = 0; j < i; ++j) {
      if (IsBuiltInDeviceName(names[j], pace) || !SameFile(names[i], names[j])) continue;
      return names[i] == names[j]
                 ? "--port " + names[i] + " is given twice; give each port once"
                 : "--port " + names[j] + " and --port " + names[i] + " are the same port; give each port once";
    }
  }
  return {};
}

int WithTrace(const DeviceOptions& options, const std::vector<std::string>& files,
              const std::function<int()>& command) {
  SetJsonOutput(options.Json);
  if (const std::string refusal = CheckPorts(options.Ports); !refusal.empty()) {
    PrintMessage(MessageLevel::Error, "%s\n", refusal.c_str());
    return kExitUsage;
  }
  if (!options.LogFile.empty()) {
    if (const std::string refusal = CheckWrittenFile(options.LogFile, files); !refusal.empty()) {
      PrintMessage(MessageLevel::Error, "--log %s; name another log file\n", refusal.c_str());
      return kExitUsage;
    }
  }
  if (!options.Report.empty()) {
    std::vector<std::string> own = files;
    own.push_back(options.LogFile);
    if (const std::string refusal = CheckWrittenFile(options.Report, own); !refusal.empty()) {
      PrintMessage(MessageLevel::Error, "--report %s; name another report\n", refusal.c_str());
      return kExitUsage;
    }
  }
  int code = kExitOk;
  std::string lost;
  {
    TraceRouting trace(options.Verbose, options.LogFile);
    if (!trace.Ok()) {
      PrintMessage(MessageLevel::Error, "cannot open the log file %s\n", options.LogFile.c_str());
      return kExitUsage;
    }
    code = command();
    Log().Flush();
    lost = trace.FileFailure();
  }
  if (!lost.empty())
    PrintMessage(MessageLevel::Warning, "warning: the trace could not be written to %s: %s\n", options.LogFile.c_str(),
                 lost.c_str());
  return code;
}

bool OpenReport(const DeviceOptions& options, RecordFile& report) {
  if (options.Report.empty()) return true;
  std::string error;
  if (!report.Open(options.Report, &error)) {
    PrintMessage(MessageLevel::Error, "--report: %s\n", error.c_str());
    return false;
  }
  if (!report.Note().empty()) PrintMessage(MessageLevel::Warning, "--report: %s\n", report.Note().c_str());
  return true;
}

bool LoadRunFile(const std::string& command, const std::string& path, FirmwareFile& file) {
  if (LoadFirmwareFile(path, file)) return true;
  PrintMessage(MessageLevel::Error, "%s: cannot read %s: %s\n", command.c_str(), path.c_str(),
               file.Load.OpenError.c_str());
  return false;
}

}  // namespace tolvane::cli
