// The station at the line's timing (57600 baud, 2 ms per block): two jigs
// of two boards each, against a single write of the same file onto such a
// board. Counters: write_s = the single write; device_s = from a board's
// switching on to its record, on average; notice_s = device_s - write_s
// (goal <= 0.5: the station costs no more than noticing the board);
// worst_s = the slowest board's device_s; answer_s = from switching on to
// the identity read; record_s = the records' own seconds.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "image/hex_writer.h"
#include "log/console_log.h"
#include "session/device_run.h"
#include "session/device_target.h"
#include "session/station.h"
#include "sim/simulated_device.h"

namespace tolvane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kBoards = 2;

SimulatedDeviceOptions Line() {
  SimulatedDeviceOptions options;
  options.BaudRate = kDefaultBaud;
  options.ProgramTimeUs = 2000;
  return options;
}

// A firmware over the whole user area: every block is written.
FirmwareImage NewFirmware() {
  FirmwareImage image = SimulatedDevice::FactoryImage();
  for (int32_t i = kMonitorAreaSize; i < kFlashSize; ++i) image[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
  return image;
}

// When each board of a jig was switched on, seen within a millisecond.
class SwitchOnWatch {
 public:
  explicit SwitchOnWatch(SimulatedDevice& jig)
      : m_Thread([this, &jig] {
          int32_t last = -1;
          while (!m_Stop) {
            const int32_t on = jig.JigBoardOn();
            if (on != last && on >= 0) {
              std::lock_guard lock(m_Mutex);
              m_Times.push_back(Clock::now());
            }
            last = on;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
          }
        }) {}
  ~SwitchOnWatch() {
    m_Stop = true;
    m_Thread.join();
  }
  Clock::time_point At(size_t board) {
    std::lock_guard lock(m_Mutex);
    return board < m_Times.size() ? m_Times[board] : Clock::time_point{};
  }

 private:
  std::atomic<bool> m_Stop{false};
  std::mutex m_Mutex;
  std::vector<Clock::time_point> m_Times;
  std::thread m_Thread;
};

class Ends : public IStationReporter {
 public:
  void PortChanged(size_t port, const StationPortStatus& status) override {
    std::lock_guard lock(m_Mutex);
    if (status.State == StationState::Programming && status.Progress.Total == 0) Started[port].push_back(Clock::now());
  }
  void DeviceEnded(size_t port, const DeviceRecord& record, const StationTotals&, const std::string&) override {
    std::lock_guard lock(m_Mutex);
    Times[port].push_back(Clock::now());
    Programming += record.Seconds;
    Ok = Ok && record.Verdict == "ok";
  }
  bool StopRequested() override { return false; }
  std::vector<Clock::time_point> Started[2];  // programming began
  std::vector<Clock::time_point> Times[2];    // the record was written
  double Programming = 0;                     // the records' seconds, summed
  bool Ok = true;

 private:
  std::mutex m_Mutex;
};

void BM_StationAgainstASingleWrite(benchmark::State& state) {
  Log().RemoveAllSinks();
  const std::string path = "/tmp/tolvane-station-bench.hex";
  if (!WriteHexFile(path, NewFirmware())) return state.SkipWithError("cannot write the firmware file");
  FirmwareFile file;
  if (!LoadFirmwareFile(path, file)) return state.SkipWithError("cannot load the firmware file");
  FirmwareImage oldBoard;
  SimulatedDevice::InitialImage({}, 1, oldBoard, nullptr);

  double writeSeconds = 0, deviceSeconds = 0, noticeSeconds = 0, programSeconds = 0, worst = 0;
  int32_t devices = 0;
  for (auto _ : state) {
    // The single write, onto a board as the jig's hold it.
    SimulatedDevice single(Line());
    single.SetMemory(oldBoard);
    if (!single.Start()) return state.SkipWithError("cannot start the device");
    DeviceTarget target(single.PortPath());
    std::string error;
    if (!target.Open(kDefaultBaud, nullptr, &error)) return state.SkipWithError(error.c_str());
    RunRequest write;
    write.Kind = RunKind::Write;
    write.File = &file;
    FirmwareImage device;
    IRunReporter quiet;
    const auto begin = Clock::now();
    const RunResult alone = RunOnPort(target.Port(), write, device, quiet);
    writeSeconds = std::chrono::duration<double>(Clock::now() - begin).count();
    if (ExitCodeOf(alone) != 0) return state.SkipWithError("the single write failed");

    SimulatedDeviceOptions jigOptions = Line();
    for (int32_t i = 0; i < kBoards; ++i) jigOptions.Jig.push_back({oldBoard, {}});
    SimulatedDevice first(jigOptions), second(jigOptions);
    if (!first.Start() || !second.Start()) return state.SkipWithError("cannot start the jigs");
    SwitchOnWatch firstOn(first), secondOn(second);
    StationRequest request;
    request.Ports = request.Labels = {first.PortPath(), second.PortPath()};
    request.File = &file;
    request.Options.RunAfterWrite = true;
    request.Count = 2 * kBoards;
    Ends ends;
    const StationResult result = RunStation(request, ends);
    if (result.ExitCode != 0 || !ends.Ok) return state.SkipWithError("the station failed");
    SwitchOnWatch* on[2] = {&firstOn, &secondOn};
    for (size_t port = 0; port < 2; ++port) {
      for (size_t board = 0; board < ends.Times[port].size(); ++board) {
        const double seconds = std::chrono::duration<double>(ends.Times[port][board] - on[port]->At(board)).count();
        deviceSeconds += seconds;
        if (board < ends.Started[port].size())
          noticeSeconds += std::chrono::duration<double>(ends.Started[port][board] - on[port]->At(board)).count();
        worst = std::max(worst, seconds);
        ++devices;
      }
    }
    programSeconds += ends.Programming;
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
  }
  state.counters["write_s"] = writeSeconds;
  state.counters["device_s"] = devices > 0 ? deviceSeconds / devices : 0;
  state.counters["notice_s"] = devices > 0 ? deviceSeconds / devices - writeSeconds : 0;
  state.counters["worst_s"] = worst;
  // Where the time beyond the write goes: to the device's answer and its
  // identity, and the run's own seconds as the records say.
  state.counters["answer_s"] = devices > 0 ? noticeSeconds / devices : 0;
  state.counters["record_s"] = devices > 0 ? programSeconds / devices : 0;
  state.counters["devices"] = devices;
}
BENCHMARK(BM_StationAgainstASingleWrite)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
}  // namespace tolvane

BENCHMARK_MAIN();
