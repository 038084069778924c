// Write + verify of a full image against simulated devices: how close the
// programmer comes to the wire's own time, what it costs in CPU, and how well
// several devices share the machine.
//
// Counters: wire_ratio = wall time / the wire's own time (bytes on the line at
// the emulated baud rate plus the device's programming time per block);
// cpu_share = CPU time of the programming threads / wall time;
// extra_us = wall time beyond the wire's, per command; device_late_us = how
// late the device's replies ended on average (the emulation's own error);
// steal_share = time the virtual machine's processors were held back by its
// host, as a share of wall time per processor (Linux; a run with more than a
// few per cent of it says more about the host than about the programmer).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <ctime>
#include <fstream>
#include <limits>
#include <string>
#include <utility>
#include <future>
#include <memory>
#include <vector>

#include "image/hex_reader.h"
#include "log/console_log.h"
#include "protocol/procedures.h"
#include "serial/serial_port.h"
#include "sim/simulated_device.h"

namespace tolvane {
namespace {

constexpr int32_t kBaud = kDefaultBaud;
constexpr int32_t kProgramUs = 2000;

// Bytes the line carries for one write + verify: 1024 write frames of 69 with
// their 1-byte replies, 2054 read frames of 5 with their 32-byte replies, and
// the synchronisation bytes.
constexpr double kWireBytes = 1024.0 * 70 + 2054.0 * 37 + 2;
constexpr double WireSeconds() { return kWireBytes * 10 / kBaud + 1024 * kProgramUs / 1e6; }

// Processor time stolen by the host so far, summed over processors, and the
// number of processors; zero where the system does not tell.
std::pair<double, int> StolenSeconds() {
  std::ifstream stat("/proc/stat");
  std::string name;
  double stolen = 0;
  int processors = 0;
  while (stat >> name && name.rfind("cpu", 0) == 0) {
    double fields[8] = {};
    for (double& field : fields) stat >> field;
    if (name != "cpu")
      ++processors;
    else
      stolen = fields[7] / static_cast<double>(sysconf(_SC_CLK_TCK));
    stat.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  }
  return {stolen, processors};
}

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

FirmwareImage Firmware() {
  FirmwareImage image = SimulatedDevice::FactoryImage();
  for (int32_t i = kMonitorAreaSize; i < kFlashSize; ++i) image[i] = static_cast<uint8_t>(i * 13 + (i >> 8));
  return image;
}

struct Quiet : IProcedureObserver {};

// A write of file (then its verification) through the programmer's own port
// on the device; false when the port did not open or the write failed.
bool WriteOn(SimulatedDevice& device, const FirmwareImage& file, const WriteOptions& options = {}) {
  OSerialPort port;
  if (!port.OpenDevice(device.PortPath(), kBaud)) return false;
  MonitorLink link(port);
  Quiet quiet;
  Procedures procedures(link, quiet);
  HexLoadResult load;
  load.FileRead = true;
  load.BytesStored = kFlashSize;
  FirmwareImage read;
  return procedures.WriteDevice(file, &load, read, Admission::Done, options) == ProcedureStatus::Done;
}

// One programmer on one device; returns the CPU seconds its thread used.
double WriteAndVerify(SimulatedDevice& device, const FirmwareImage& file, bool& ok) {
  const double cpuStart = ThreadCpuSeconds();
  ok = WriteOn(device, file);
  return ThreadCpuSeconds() - cpuStart;
}

void RunDevices(benchmark::State& state, int32_t devices, bool emulate) {
  Log().RemoveAllSinks();
  const FirmwareImage file = Firmware();
  SimulatedDeviceOptions options;
  if (emulate) {
    options.BaudRate = kBaud;
    options.ProgramTimeUs = kProgramUs;
  }
  double cpu = 0, wall = 0, lateNs = 0, replies = 0;
  const auto [stolenBefore, processors] = StolenSeconds();
  for (auto _ : state) {
    std::vector<std::unique_ptr<SimulatedDevice>> sims;
    for (int32_t i = 0; i < devices; ++i) {
      sims.push_back(std::make_unique<SimulatedDevice>(options));
      if (!sims.back()->Start()) state.SkipWithError("no pseudo-terminal");
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::future<double>> runs;
    std::vector<bool> oks(static_cast<size_t>(devices));
    std::vector<char> done(static_cast<size_t>(devices), 0);
    for (int32_t i = 0; i < devices; ++i) {
      runs.push_back(std::async(std::launch::async, [&, i] {
        bool ok = false;
        double used = WriteAndVerify(*sims[static_cast<size_t>(i)], file, ok);
        done[static_cast<size_t>(i)] = ok ? 1 : 0;
        return used;
      }));
    }
    double used = 0;
    for (auto& run : runs) used += run.get();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (char d : done)
      if (!d) state.SkipWithError("write + verify failed");
    state.SetIterationTime(seconds);
    for (auto& sim : sims) {
      const SimulatedDeviceStats stats = sim->Stats();
      lateNs += static_cast<double>(stats.LateNsTotal);
      replies += static_cast<double>(stats.RepliesTimed);
    }
    cpu += used;
    wall += seconds;
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["devices"] = devices;
  state.counters["wall_s"] = wall / iterations;
  state.counters["cpu_share"] = cpu / devices / wall;
  if (processors > 0) state.counters["steal_share"] = (StolenSeconds().first - stolenBefore) / processors / wall;
  if (emulate) {
    state.counters["wire_ratio"] = wall / iterations / WireSeconds();
    state.counters["extra_us"] = (wall / iterations - WireSeconds()) / (1024 + 2054) * 1e6;
    state.counters["device_late_us"] = replies > 0 ? lateNs / replies / 1e3 : 0;
  }
}

// A firmware of `bytes` above the monitor, erased beyond; seed makes it another version.
FirmwareImage FirmwareOf(int32_t bytes, uint32_t seed) {
  FirmwareImage image = SimulatedDevice::FactoryImage();
  for (int32_t i = kMonitorAreaSize; i < kFlashSize; ++i)
    image[i] = i < kMonitorAreaSize + bytes
                   ? static_cast<uint8_t>(static_cast<uint32_t>(i * 13 + (i >> 8)) ^ (seed * 0x9Eu))
                   : kFillByte;
  return image;
}

// One write of file into a device at the line's timing that holds `before`;
// its seconds, or a negative value when it failed.
double TimedWrite(const FirmwareImage& before, const FirmwareImage& file, const WriteOptions& options) {
  SimulatedDeviceOptions line;
  line.BaudRate = kBaud;
  line.ProgramTimeUs = kProgramUs;
  SimulatedDevice device(line);
  device.SetMemory(before);
  if (!device.Start()) return -1;
  const auto start = std::chrono::steady_clock::now();
  const bool written = WriteOn(device, file, options);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const FirmwareImage after = device.Memory();
  for (int32_t i = kMonitorAreaSize; i < kFlashSize; ++i)
    if (after[i] != file[i]) return -1;
  return written ? seconds : -1;
}

// Only what changed against the full write, side by side in one run at the
// line's timing (57600 baud, 2 ms per block): the device already holds the
// file (goal ratio <= 0.50), a typical update of a few kilobytes over an
// older firmware (<= 0.75), every block different (<= 1.05).
void BM_ChangedOnlyAgainstFullWrite(benchmark::State& state) {
  Log().RemoveAllSinks();
  FirmwareImage before, file;
  switch (state.range(0)) {
    case 0: before = file = FirmwareOf(kFlashSize, 1); break;
    case 1:
      before = FirmwareOf(5 * 1024, 1);
      file = FirmwareOf(6 * 1024, 2);
      break;
    default:
      before = FirmwareOf(kFlashSize, 1);
      file = FirmwareOf(kFlashSize, 2);
      break;
  }
  WriteOptions changed;
  changed.ChangedOnly = true;
  double full = 0, only = 0;
  for (auto _ : state) {
    const double f = TimedWrite(before, file, {});
    const double c = TimedWrite(before, file, changed);
    if (f < 0 || c < 0) state.SkipWithError("a write failed or left the device without the file");
    full += f;
    only += c;
    state.SetIterationTime(f + c);
  }
  state.counters["full_s"] = full / static_cast<double>(state.iterations());
  state.counters["changed_s"] = only / static_cast<double>(state.iterations());
  state.counters["ratio"] = only / full;
}
BENCHMARK(BM_ChangedOnlyAgainstFullWrite)
    ->ArgName("scenario")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// At 57600 baud and 2 ms per block: goal wire_ratio <= 1.01, cpu_share < 0.05.
void BM_WriteVerifyEmulated(benchmark::State& state) { RunDevices(state, 1, true); }
// Eight at once: goal wall_s <= 1.05 x the single device's.
void BM_WriteVerifyEmulatedEight(benchmark::State& state) { RunDevices(state, 8, true); }
// The pseudo-terminal at full speed: goal under 1.5 s.
void BM_WriteVerifyFullSpeed(benchmark::State& state) { RunDevices(state, 1, false); }

BENCHMARK(BM_WriteVerifyFullSpeed)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_WriteVerifyEmulated)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_WriteVerifyEmulatedEight)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace tolvane

BENCHMARK_MAIN();
