#include "session/device_run.h"

#include <chrono>
#include <thread>

#include "log/console_log.h"
#include "protocol/link.h"
#include "protocol/link_constants.h"
#include "serial/line_advice.h"
#include "session/idle_line.h"
#include "session/monitor_wait.h"
#include "session/write_options.h"

namespace tolvane {

using namespace link;

namespace {

using Clock = std::chrono::steady_clock;

// Bytes on the wire for the first `done` blocks of a run whose first
// writeBlocks blocks are writes (request and reply of each).
int64_t WireBytes(int32_t done, int32_t writeBlocks) {
  const int32_t writes = std::min(done, writeBlocks);
  return int64_t{writes} * (kWriteRequestSize + kWriteReplySize) +
         int64_t{done - writes} * (kReadRequestSize + kReadReplySize);
}

// The procedures' observer for a run: progress with its wire bytes, the
// outcome kept for the result, stops asked of the reporter.
class RunObserver : public IProcedureObserver {
 public:
  RunObserver(IRunReporter& reporter, int32_t writeBlocks) : m_Reporter(reporter), m_WriteBlocks(writeBlocks) {}

  void Progress(int32_t done, int32_t total) override {
    m_Reporter.Progress({done, total, WireBytes(done, m_WriteBlocks), WireBytes(total, m_WriteBlocks)});
  }
  void Phase(ProgressPhase phase, int32_t blocks) override { m_Reporter.Phase(phase, blocks); }
  void DeviceImageRead() override {
    m_ImageRead = true;
    m_Reporter.DeviceImageRead();
  }
  void Outcome(const ProcedureOutcome& outcome) override { m_Outcome = outcome; }
  bool StopRequested() override { return m_Reporter.StopRequested(); }
  // A write's file is admitted before the run (AdmitForWrite).
  bool ConfirmSuspect(const std::string&) override { return false; }

  bool ImageRead() const { return m_ImageRead; }
  std::optional<ProcedureOutcome>& TakenOutcome() { return m_Outcome; }

 private:
  IRunReporter& m_Reporter;
  int32_t m_WriteBlocks;
  bool m_ImageRead = false;
  std::optional<ProcedureOutcome> m_Outcome;
};

// Sends capture bursts for `seconds` (until stopped when 0) while the receive
// tick traces what arrives (and reports its throughput when showStatus).
// Done when the time ran out (or an open-ended one was stopped), Stopped when
// a timed one was, LinkFailed with the outcome when the port failed.
ProcedureStatus Capture(IBytePort& port, int32_t baud, double seconds, bool showStatus, IRunReporter& reporter,
                        std::optional<ProcedureOutcome>& failure) {
  const Clock::time_point start = Clock::now();
  const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  IdleLine line(port, baud);
  for (;;) {
    if (seconds > 0 && Clock::now() >= end) return ProcedureStatus::Done;
    if (reporter.StopRequested()) return seconds > 0 ? ProcedureStatus::Stopped : ProcedureStatus::Done;
    if (const std::optional<ReceiveTickResult> tick = line.Turn(true)) {
      if (tick->Failure) {
        failure = tick->Failure;
        return ProcedureStatus::LinkFailed;
      }
      if (tick->Status && showStatus) reporter.Message(MessageLevel::Info, *tick->Status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kCapturePeriodMs));
  }
}

// Reads take no time of the device's own: their rate against the line's
// speed tells a slow adapter (a latency timer, a hub). Judged over enough of
// them to mean something.
void JudgeLine(const Procedures::ReadTiming& reads, const std::string& portName, int32_t baud, RunResult& result) {
  constexpr int32_t kEnoughReads = 256;
  if (reads.Commands < kEnoughReads || reads.Seconds <= 0 || baud <= 0) return;
  const double lineSeconds =
      static_cast<double>(reads.Commands) * (kReadRequestSize + kReadReplySize) * kBitsPerByte / baud;
  result.LineShare = lineSeconds / reads.Seconds;
  if (result.LineShare >= kSlowLineShare) return;
  const LineAdvice advice = SlowLineAdvice(portName);
  const auto percent = static_cast<int32_t>(result.LineShare * 100 + 0.5);
  Log()
      .SetColor(kColorWarning)
      .Text("Линия работает медленно: ")
      .Dec(percent)
      .Text("% от того, что позволяет скорость ")
      .Dec(baud)
      .Text(" бод; ")
      .Text(advice.Russian)
      .Text("\n")
      .SetColor(kColorNormal);
  result.SlowLine = "the line ran at " + std::to_string(percent) + "% of what " + std::to_string(baud) +
                    " baud allows: " + advice.English;
}

}  // namespace

std::optional<double> SecondsLeft(const RunProgress& progress, double elapsed) {
  if (elapsed <= 0 || progress.WireBytes <= 0 || progress.Done >= progress.Total) return std::nullopt;
  const double rate = static_cast<double>(progress.WireBytes) / elapsed;
  return static_cast<double>(progress.WireTotal - progress.WireBytes) / rate;
}

RunResult ResultOf(const RunRequest& request) {
  RunResult result;
  result.Kind = request.Kind;
  result.Port = request.PortLabel;
  result.Options = request.Options;
  result.Start = std::chrono::system_clock::now();
  if (request.File != nullptr) {
    result.FileName = request.File->Name();
    result.FileSha256 = request.File->Sha256;
  }
  return result;
}

RunResult RunOnPort(IBytePort& port, const RunRequest& request, FirmwareImage& device, IRunReporter& reporter) {
  const Clock::time_point start = Clock::now();
  const RunOptions& options = request.Options;
  RunResult result = ResultOf(request);
  auto finish = [&] {
    result.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return result;
  };

  MonitorLink link(port, options.Baud);
  // A plain write's first blocks are its writes; a planned one mixes them
  // with reads, and its wire is estimated by the blocks done.
  const bool planned = options.ChangedOnly || !options.Keep.empty() || !options.BackupDir.empty();
  RunObserver observer(reporter, request.Kind == RunKind::Write && !planned ? kFlashWriteBlocks : 0);
  Procedures procedures(link, observer);
  if (request.Kind == RunKind::Capture || options.CaptureSeconds > 0) {
    // The throughput is the point of a capture run; before a procedure it is
    // only the wait for the device.
    result.Status =
        Capture(port, options.Baud, options.CaptureSeconds, request.Kind == RunKind::Capture, reporter, result.Outcome);
    result.PortLost = result.Status == ProcedureStatus::LinkFailed;
    if (request.Kind == RunKind::Capture || result.Status != ProcedureStatus::Done) {
      result.CaptureInterrupted = result.Status == ProcedureStatus::Stopped;
      return finish();
    }
  }

  if (options.WaitSeconds > 0) {
    const WaitResult wait = WaitForMonitor(link, options.WaitSeconds, reporter);
    result.WaitedSeconds = wait.Seconds;
    switch (wait.End) {
      case WaitEnd::Found: break;
      case WaitEnd::TimedOut:
        result.Status = ProcedureStatus::LinkFailed;
        result.Outcome = NoMonitorOutcome(wait);
        result.NoMonitor = NoMonitorLine(wait);
        return finish();
      case WaitEnd::Stopped:
        result.Status = ProcedureStatus::Stopped;
        result.CaptureInterrupted = true;
        return finish();
      case WaitEnd::PortFailed:
        result.Status = ProcedureStatus::LinkFailed;
        result.Outcome = wait.Failure;
        result.PortLost = true;
        return finish();
    }
  }

  const FirmwareFile* file = request.File;
  switch (request.Kind) {
    case RunKind::Read: result.Status = procedures.ReadDevice(device); break;
    case RunKind::Verify: result.Status = procedures.Verify(file->Image, device, &file->Load.RegionSet); break;
    case RunKind::Write: {
      WriteOptions write;
      write.ChangedOnly = options.ChangedOnly;
      write.Keep = options.Keep;
      if (!options.BackupDir.empty()) {
        write.BeforeWriting = [&](const FirmwareImage& before) {
          FolderBackups folder(options.BackupDir, options.BackupKeep);
          IBackupStore& store = request.Backups != nullptr ? *request.Backups : folder;
          std::string error;
          if (store.Save(before, result.BackupPath, &error))
            Log().Text("Резервная копия модуля: ").Text(result.BackupPath).Text("\n");
          return error;
        };
      }
      result.Status = procedures.WriteDevice(file->Image, &file->Load, device, Admission::Done, write);
      break;
    }
    case RunKind::Run: result.Status = procedures.Run(); break;
    case RunKind::Capture: break;
  }
  JudgeLine(procedures.LastReads(), request.PortName, options.Baud, result);
  result.Write = procedures.LastWrite();
  result.Compared = (request.Kind == RunKind::Verify || request.Kind == RunKind::Write) &&
                    (result.Status == ProcedureStatus::Done || result.Status == ProcedureStatus::Differs);
  if (result.Compared) result.Compare = procedures.LastCompare();
  if (observer.ImageRead()) result.BlocksRead = kDeviceReads;
  // A write that read the device before it failed (a backup, kept ranges)
  // knows whom it wrote to.
  if (observer.ImageRead() || procedures.LastReads().RegionsRead) result.Device = IdentityOf(device);
  result.Outcome = std::move(observer.TakenOutcome());
  result.PortLost = result.Status == ProcedureStatus::LinkFailed && port.IsOpen() && port.LastError() != 0;
  return finish();
}

WriteAdmission AdmitForWrite(const FirmwareFile* file,
                             const std::function<bool(const std::string& question)>& confirm) {
  class Asking : public IProcedureObserver {
   public:
    explicit Asking(const std::function<bool(const std::string&)>& ask) : m_Ask(ask) {}
    void Outcome(const ProcedureOutcome& outcome) override { Refusal = outcome; }
    bool ConfirmSuspect(const std::string& question) override { return m_Ask && m_Ask(question); }
    std::optional<ProcedureOutcome> Refusal;

   private:
    const std::function<bool(const std::string&)>& m_Ask;
  } asking(confirm);
  WriteAdmission admission;
  admission.Admitted = AdmitFile(file != nullptr ? &file->Load : nullptr, asking);
  admission.Refusal = std::move(asking.Refusal);
  return admission;
}

}  // namespace tolvane
