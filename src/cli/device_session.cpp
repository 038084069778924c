#include "console_output.h"
#include "device_session.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "device_interrupt.h"
#include "device_progress.h"
#include "exit_codes.h"
#include "trace_routing.h"
#include "log/file_open.h"
#include "protocol/link_constants.h"

namespace tolvane::cli {

using namespace link;

void CliObserver::Progress(int32_t done, int32_t total) {
  m_Board.Update(m_Slot, done, total, WireBytes(done, m_WriteBlocks), WireBytes(total, m_WriteBlocks));
}

bool CliObserver::StopRequested() { return Interrupted(); }

namespace {

bool AnswerSuspect(const std::string& question, bool force) {
  PrintError("%s\n%s\n", question.c_str(),
             force ? "--force: writing it." : "Not written; give --force to write it anyway.");
  return force;
}

void PrintMessage(const std::string& prefix, const std::string& text);

}  // namespace

bool CliObserver::ConfirmSuspect(const std::string& question) { return AnswerSuspect(question, m_Force); }

bool PrintingObserver::ConfirmSuspect(const std::string& question) { return AnswerSuspect(question, m_Force); }

void PrintingObserver::Outcome(const ProcedureOutcome& outcome) {
  PrintMessage("", outcome.Caption);
  PrintMessage("", outcome.Text);
}

int64_t CliObserver::WireBytes(int32_t done, int32_t writeBlocks) {
  const int32_t writes = std::min(done, writeBlocks);
  return int64_t{writes} * (kWriteRequestSize + kWriteReplySize) +
         int64_t{done - writes} * (kReadRequestSize + kReadReplySize);
}

int ExitCodeOf(ProcedureStatus status, int refusedCode) {
  switch (status) {
    case ProcedureStatus::Done: return kExitOk;
    case ProcedureStatus::Differs: return kExitDiffers;
    case ProcedureStatus::LinkFailed: return kExitLink;
    case ProcedureStatus::Refused: return refusedCode;
    case ProcedureStatus::Stopped: return kExitInterrupted;
  }
  return kExitLink;
}

int CaptureBursts(MonitorLink& link, double seconds, const std::function<void(const std::string&)>& status,
                  ProcedureOutcome& failure) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  Clock::time_point nextTick = start;
  ReceiveMonitor receive;
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (seconds > 0 && now >= end) return kExitOk;
    if (Interrupted()) return seconds > 0 ? kExitInterrupted : kExitOk;
    link.SendCaptureBurst();
    if (now >= nextTick) {
      nextTick = now + std::chrono::milliseconds(kReceivePeriodMs);
      ReceiveTickResult tick = receive.Tick(link.Port());
      if (tick.ReadFailed) {
        failure = {tick.FailureText, tick.FailureCaption, OutcomeIcon::Error};
        return kExitLink;
      }
      if (tick.Status) status(*tick.Status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kCapturePeriodMs));
  }
}

namespace {

// "\r\n" and "\n" inside a message become line breaks of the terminal; the
// prefix (the port, when there are several) starts every line.
void PrintMessage(const std::string& prefix, const std::string& text) {
  std::string line;
  auto flush = [&] {
    Print("%s%s\n", prefix.c_str(), line.c_str());
    line.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') continue;
    if (text[i] == '\n') {
      flush();
      continue;
    }
    line += text[i];
  }
  if (!line.empty()) flush();
}

struct PortState {
  std::unique_ptr<DevicePort> Port;
  PortReport Report;
  std::optional<ProcedureOutcome> Outcome;
  double Seconds = 0;
};

void Serve(const SessionSettings& settings, const PortJob& job, ProgressBoard& board, size_t slot, PortState& state) {
  const auto start = std::chrono::steady_clock::now();
  DevicePort& port = *state.Port;
  if (settings.Options.Ports.size() > 1) ConsoleLog::SetThreadPrefix(port.Label() + ": ");
  std::string error;
  if (!port.Open(settings.Options.Baud, error)) {
    state.Report.ExitCode = kExitLink;
    state.Report.Lines.push_back("cannot open the port: " + error);
  } else {
    MonitorLink link(port.Port());
    CliObserver observer(board, slot, settings.Force, settings.WriteBlocks);
    Procedures procedures(link, observer);
    int code = kExitOk;
    if (settings.Options.CaptureSeconds > 0) {
      ProcedureOutcome failure;
      code = CaptureBursts(
          link, settings.Options.CaptureSeconds, [](const std::string&) {}, failure);
      if (code == kExitLink) state.Outcome = failure;
      if (code == kExitInterrupted)
        state.Report.Lines.push_back("interrupted while capturing: only capture bursts (0xCD) were sent, no command");
    }
    if (code == kExitOk) {
      PortWork work{port, link, procedures, observer, slot};
      state.Report = job(work);
      state.Outcome = observer.Result();
    } else {
      state.Report.ExitCode = code;
    }
  }
  Log().Flush();
  ConsoleLog::SetThreadPrefix({});
  state.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int RunOnPorts(const SessionSettings& settings, const PortJob& job) {
  const std::vector<std::string>& names = settings.Options.Ports;
  const bool several = names.size() > 1;
  CatchInterrupt();
  const bool bar = settings.ShowProgress && !settings.Options.Verbose && isatty(STDERR_FILENO) != 0;
  ProgressBoard board(bar, names.size());

  std::vector<PortState> states(names.size());
  const std::vector<std::string> labels = PortLabels(names);
  for (size_t i = 0; i < names.size(); ++i) states[i].Port = std::make_unique<DevicePort>(names[i], labels[i]);
  if (several) {
    std::vector<std::thread> threads;
    for (size_t i = 0; i < names.size(); ++i)
      threads.emplace_back([&, i] { Serve(settings, job, board, i, states[i]); });
    for (std::thread& t : threads) t.join();
  } else {
    Serve(settings, job, board, 0, states[0]);
  }
  board.Finish();

  int worst = kExitOk;
  for (PortState& state : states) {
    const std::string prefix = several ? state.Port->Label() + ": " : "";
    if (state.Outcome) {
      PrintMessage(prefix, state.Outcome->Caption);
      PrintMessage(prefix, state.Outcome->Text);
    }
    for (const std::string& line : state.Report.Lines) PrintMessage(prefix, line);
    worst = std::max(worst, state.Report.ExitCode);
  }
  if (several) {
    for (const PortState& state : states) {
      const std::string outcome =
          state.Outcome ? state.Outcome->Caption : (state.Report.ExitCode == kExitOk ? "OK" : "FAILED");
      Print("%s: %s, exit %d, %.1f s\n", state.Port->Label().c_str(), outcome.c_str(), state.Report.ExitCode,
            state.Seconds);
    }
  }
  return worst;
}

int WithTrace(const DeviceOptions& options, const std::vector<std::string>& files,
              const std::function<int()>& command) {
  for (const std::string& file : files) {
    if (!options.LogFile.empty() && !file.empty() && SameFile(options.LogFile, file)) {
      PrintError("--log %s is the command's own file %s; name another log file\n", options.LogFile.c_str(),
                 file.c_str());
      return kExitUsage;
    }
  }
  int code = kExitOk;
  std::string lost;
  {
    TraceRouting trace(options.Verbose, options.LogFile);
    if (!trace.Ok()) {
      PrintError("cannot open the log file %s\n", options.LogFile.c_str());
      return kExitUsage;
    }
    code = command();
    Log().Flush();
    lost = trace.FileFailure();
  }
  if (!lost.empty())
    PrintError("warning: the trace could not be written to %s: %s\n", options.LogFile.c_str(), lost.c_str());
  return code;
}

}  // namespace tolvane::cli
