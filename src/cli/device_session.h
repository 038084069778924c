// Runs one device command on every --port given: a thread per port, each with
// its own port, link and procedures; then the outcome of each and the worst
// exit code.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device_options.h"
#include "device_port.h"
#include "protocol/procedures.h"

namespace tolvane::cli {

class ProgressBoard;

// The observer of one port's procedure.
class CliObserver : public IProcedureObserver {
 public:
  CliObserver(ProgressBoard& board, size_t slot, bool force, int32_t writeBlocks)
      : m_Board(board), m_Slot(slot), m_Force(force), m_WriteBlocks(writeBlocks) {}

  void Progress(int32_t done, int32_t total) override;
  void Outcome(const ProcedureOutcome& outcome) override { m_Outcome = outcome; }
  bool StopRequested() override;
  bool ConfirmSuspect(const std::string& question) override;

  const std::optional<ProcedureOutcome>& Result() const { return m_Outcome; }

  // Bytes on the wire for the first `done` blocks of a run whose first
  // writeBlocks blocks are writes (request and reply of each).
  static int64_t WireBytes(int32_t done, int32_t writeBlocks);

 private:
  ProgressBoard& m_Board;
  size_t m_Slot;
  bool m_Force;
  int32_t m_WriteBlocks;
  std::optional<ProcedureOutcome> m_Outcome;
};

// An observer outside any port's work: prints the outcome at once and answers
// ConfirmSuspect with the --force given.
class PrintingObserver : public IProcedureObserver {
 public:
  explicit PrintingObserver(bool force) : m_Force(force) {}
  void Outcome(const ProcedureOutcome& outcome) override;
  bool ConfirmSuspect(const std::string& question) override;

 private:
  bool m_Force;
};

// What one port's work hands back for printing.
struct PortReport {
  int ExitCode = 0;
  std::vector<std::string> Lines;  // details after the outcome
};

struct PortWork {
  DevicePort& Port;
  MonitorLink& Link;
  Procedures& Procs;
  CliObserver& Observer;
  size_t Slot;
};

struct SessionSettings {
  const DeviceOptions& Options;
  bool Force = false;        // ConfirmSuspect answers yes
  int32_t WriteBlocks = 0;   // leading write blocks of the run, for the wire rate
  bool ShowProgress = true;  // the command has blocks to count
};

using PortJob = std::function<PortReport(PortWork&)>;

// Opens every port, captures first if asked, runs the job on each and prints
// what each reports. Returns the worst exit code.
int RunOnPorts(const SessionSettings& settings, const PortJob& job);

// Runs a device command with the trace routed as -v and --log ask. files:
// the command's input and output files, which the log file must not be (a
// usage error). A trace that could not be written is said at the end.
int WithTrace(const DeviceOptions& options, const std::vector<std::string>& files, const std::function<int()>& command);

// Exit code of a procedure's end; refusedCode is what a refusal means here.
int ExitCodeOf(ProcedureStatus status, int refusedCode);

// Sends capture bursts for `seconds` (until Ctrl-C when 0) while tracing what
// arrives. status receives each throughput text. Returns 0 when the time ran
// out, the interrupted code on Ctrl-C (or 0 when it ran open-ended), the link
// code when the port failed (failure then holds the report).
int CaptureBursts(MonitorLink& link, double seconds, const std::function<void(const std::string&)>& status,
                  ProcedureOutcome& failure);

}  // namespace tolvane::cli
