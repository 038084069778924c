#include "session/station.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include "log/console_log.h"
#include "protocol/link.h"
#include "session/device_target.h"
#include "session/exit_codes.h"
#include "session/monitor_wait.h"
#include "session/port_threads.h"

namespace tolvane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kUntilStopped = 1e9;  // seconds: a station waits for its next device as long as it runs
constexpr auto kReopenPeriod = std::chrono::seconds(1);
constexpr auto kSlotPeriod = std::chrono::milliseconds(50);

// The runs of one port: their progress as the port's status, their stop as
// asked.
class PortRuns : public IRunReporter {
 public:
  PortRuns(std::function<void(const RunProgress&)> progress, std::function<bool()> stop)
      : m_Progress(std::move(progress)), m_Stop(std::move(stop)) {}
  void Progress(const RunProgress& progress) override {
    if (m_Progress) m_Progress(progress);
  }
  bool StopRequested() override { return m_Stop(); }

 private:
  std::function<void(const RunProgress&)> m_Progress;
  std::function<bool()> m_Stop;
};

class Station {
 public:
  Station(const StationRequest& request, IStationReporter& reporter)
      : m_Request(request), m_Reporter(reporter), m_Status(request.Ports.size()), m_Since(request.Ports.size()) {}

  void Serve(size_t index, DeviceTarget& target);
  StationResult Result();

 private:
  // No port takes a new device: the user stopped, enough were programmed,
  // or a record was lost.
  bool Over() const { return m_Over || m_Reporter.StopRequested(); }
  // The runs under way stop too.
  bool Interrupting() const { return m_RecordFailed || m_Reporter.StopRequested(); }

  void Set(size_t index, StationState state, const DeviceIdentity& device = {}, std::string reason = {});
  void Changed(size_t index);
  // A device's place in the count: false once enough are programmed or
  // under way.
  bool TakeSlot();
  void EndDevice(size_t index, const RunResult& result, const DeviceIdentity& identity);
  RunResult Program(size_t index, OSerialPort& port, const DeviceIdentity& identity);
  // Opens the port again after it failed, once a second until it opens or
  // the station is over.
  bool Reopen(size_t index, DeviceTarget& target);

  const StationRequest& m_Request;
  IStationReporter& m_Reporter;
  std::vector<StationPortStatus> m_Status;  // each touched by its port's thread only
  std::vector<Clock::time_point> m_Since;
  std::atomic<bool> m_Over{false};
  std::atomic<bool> m_RecordFailed{false};

  std::mutex m_Mutex;  // guards what follows
  StationTotals m_Totals;
  int32_t m_UnderWay = 0;
  std::vector<DeviceRecord> m_Records;
  std::string m_RecordError;
};

void Station::Set(size_t index, StationState state, const DeviceIdentity& device, std::string reason) {
  StationPortStatus& status = m_Status[index];
  status.State = state;
  status.Progress = {};
  if (device.Known) status.Device = device;
  status.Reason = std::move(reason);
  m_Since[index] = Clock::now();
  Changed(index);
}

void Station::Changed(size_t index) {
  m_Status[index].Seconds = std::chrono::duration<double>(Clock::now() - m_Since[index]).count();
  m_Reporter.PortChanged(index, m_Status[index]);
}

bool Station::TakeSlot() {
  std::lock_guard lock(m_Mutex);
  if (m_Request.Count > 0 && m_Totals.Ok + m_UnderWay >= m_Request.Count) return false;
  ++m_UnderWay;
  return true;
}

void Station::EndDevice(size_t index, const RunResult& result, const DeviceIdentity& identity) {
  const DeviceRecord record = RecordOf(result, identity);
  std::string error;
  StationTotals totals;
  {
    std::lock_guard lock(m_Mutex);
    --m_UnderWay;
    m_Records.push_back(record);
    if (m_Request.Report != nullptr && !m_Request.Report->Append(record, &error)) {
      // Programming on without records would lose what the line must keep.
      if (m_RecordError.empty()) m_RecordError = error;
      m_RecordFailed = true;
      m_Over = true;
    }
    if (record.ExitCode == kExitOk)
      ++m_Totals.Ok;
    else if (record.ExitCode == kExitInterrupted)
      ++m_Totals.Interrupted;
    else
      ++m_Totals.Failed;
    if (m_Request.Count > 0 && m_Totals.Ok >= m_Request.Count) m_Over = true;
    totals = m_Totals;
  }
  m_Reporter.DeviceEnded(index, record, totals, error);
}

RunResult Station::Program(size_t index, OSerialPort& port, const DeviceIdentity& identity) {
  Set(index, StationState::Programming, identity);
  PortRuns runs(
      [&](const RunProgress& progress) {
        m_Status[index].Progress = progress;
        Changed(index);
      },
      [this] { return Interrupting(); });
  RunRequest request{RunKind::Write, m_Request.File, m_Request.Labels[index], m_Request.Ports[index],
                     m_Request.Options};
  FirmwareImage device;
  RunResult result = RunOnPort(port, request, device, runs);
  if (ExitCodeOf(result) != kExitOk || !m_Request.Options.RunAfterWrite) return result;
  RunRequest start = request;
  start.Kind = RunKind::Run;
  const RunResult run = RunOnPort(port, start, device, runs);
  result.Seconds += run.Seconds;
  if (ExitCodeOf(run) != kExitOk) {
    result.Status = run.Status;
    result.Outcome = run.Outcome;
    result.PortLost = run.PortLost;
  }
  return result;
}

bool Station::Reopen(size_t index, DeviceTarget& target) {
  for (;;) {
    target.Port().Close();
    std::string error;
    if (target.Open(m_Request.Options.Baud, m_Request.Stop, &error)) return true;
    Set(index, StationState::PortLost, {}, "cannot open the port: " + error);
    for (const Clock::time_point next = Clock::now() + kReopenPeriod; Clock::now() < next;) {
      if (Over()) return false;
      std::this_thread::sleep_for(kSlotPeriod);
    }
  }
}

void Station::Serve(size_t index, DeviceTarget& target) {
  OSerialPort& port = target.Port();
  MonitorLink link(port, m_Request.Options.Baud);
  PortRuns waits(nullptr, [this] { return Over(); });
  while (!Over()) {
    Set(index, StationState::Waiting);
    const WaitResult wait = WaitForMonitor(link, kUntilStopped, waits);
    if (wait.End == WaitEnd::Stopped || wait.End == WaitEnd::TimedOut) break;
    if (wait.End == WaitEnd::PortFailed) {
      Set(index, StationState::PortLost, {}, wait.Failure ? OutcomeLine(*wait.Failure) : std::string());
      if (!Reopen(index, target)) break;
      continue;
    }
    const DeviceIdentity identity = ReadIdentity(link);
    if (!identity.Known) continue;  // half an answer: look again
    bool placed = TakeSlot();
    while (!placed && !Over()) {
      // Enough devices are under way on other ports: this one waits its turn.
      std::this_thread::sleep_for(kSlotPeriod);
      placed = TakeSlot();
    }
    if (!placed) break;

    const RunResult result = Program(index, port, identity);
    EndDevice(index, result, identity);
    const int code = ExitCodeOf(result);
    if (code == kExitInterrupted) break;
    Set(index, code == kExitOk ? StationState::Done : StationState::Failed, identity,
        code == kExitOk ? std::string() : RecordOf(result, identity).Reason);
    if (result.PortLost) {
      if (!Reopen(index, target)) break;
      continue;
    }
    // The next device only once this one is gone: a good one is not
    // programmed twice, a failed one not tried again before it comes back.
    const DepartureEnd gone = WaitForDeparture(link, identity, waits, [&] {
      if (code == kExitOk) Set(index, StationState::SameDevice, identity);
    });
    if (gone == DepartureEnd::Stopped) break;
    if (gone == DepartureEnd::PortFailed && !Reopen(index, target)) break;
  }
  Set(index, StationState::Stopped);
}

StationResult Station::Result() {
  std::lock_guard lock(m_Mutex);
  StationResult result;
  result.Totals = m_Totals;
  result.Records = m_Records;
  result.RecordError = m_RecordError;
  if (!m_RecordError.empty())
    result.ExitCode = kExitFile;
  else if (m_Request.Count > 0 && m_Totals.Ok >= m_Request.Count)
    result.ExitCode = kExitOk;
  else
    result.ExitCode = kExitInterrupted;
  return result;
}

}  // namespace

StationResult RunStation(const StationRequest& request, IStationReporter& reporter) {
  // Every port opens before any works: a wrong name is said at once.
  std::vector<std::unique_ptr<DeviceTarget>> targets;
  for (size_t i = 0; i < request.Ports.size(); ++i) {
    targets.push_back(std::make_unique<DeviceTarget>(request.Ports[i]));
    std::string error;
    if (!targets.back()->Open(request.Options.Baud, request.Stop, &error)) {
      StationResult result;
      result.OpenError = request.Labels[i] + ": " + error;
      result.ExitCode = kExitLink;
      return result;
    }
  }
  Station station(request, reporter);
  ForEachPort(request.Labels, [&](size_t i) { station.Serve(i, *targets[i]); });
  return station.Result();
}

}  // namespace tolvane
