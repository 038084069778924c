// How fast a full firmware file loads, measured against merely reading its
// lines, and how fast a dump is composed.
#include "image/dump_composer.h"
#include "log_sinks.h"
#include "image/hex_reader.h"
#include "image/hex_writer.h"
#include "log/console_log.h"

#include "samples.h"

#include <benchmark/benchmark.h>

#include <chrono>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

namespace tolvane {
namespace {

// A 64 KiB image with no 0xFF byte: its HEX file has 4096 data records.
FirmwareImage FullImage() {
  FirmwareImage image;
  std::mt19937 random(7);
  for (int32_t i = 0; i < kFlashSize; ++i) image[i] = static_cast<uint8_t>(random() % 255);
  return image;
}

const std::string& FullHexFile() {
  static const std::string path = [] {
    auto file = std::filesystem::temp_directory_path() / "tolvane-bench-full-64k.hex";
    std::string error;
    if (!WriteHexFile(file.string(), FullImage(), &error)) std::abort();
    return file.string();
  }();
  return path;
}

// The trace is produced in full and dropped, as a console that discards would.
void DropTrace() {
  static const bool once = [] {
    Log().AddSink(std::make_shared<tolvane::test::NullSink>());
    return true;
  }();
  (void)once;
}

void BM_LoadFullHexFile(benchmark::State& state) {
  DropTrace();
  FirmwareImage image;
  for (auto _ : state) {
    HexLoadResult result = LoadHexFile(FullHexFile(), image);
    if (result.BytesStored != kFlashSize) state.SkipWithError("not fully loaded");
    benchmark::DoNotOptimize(image.Data());
  }
}
BENCHMARK(BM_LoadFullHexFile)->Unit(benchmark::kMicrosecond);

// The floor: reading the same file's lines with std::getline and nothing else.
size_t GetlineLines() {
  std::ifstream in(FullHexFile());
  std::string line;
  size_t lines = 0;
  while (std::getline(in, line)) ++lines;
  return lines;
}

void BM_GetlineSameFile(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(GetlineLines());
}
BENCHMARK(BM_GetlineSameFile)->Unit(benchmark::kMicrosecond);

// Both in one run, in turn, so that the ratio is not skewed by the machine's
// load changing between two separate benchmarks.
void BM_LoadToGetlineRatio(benchmark::State& state) {
  DropTrace();
  FirmwareImage image;
  Samples load;
  Samples getline;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    HexLoadResult result = LoadHexFile(FullHexFile(), image);
    if (result.BytesStored != kFlashSize) state.SkipWithError("not fully loaded");
    benchmark::DoNotOptimize(image.Data());
    auto middle = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(GetlineLines());
    auto end = std::chrono::steady_clock::now();
    load.Add(std::chrono::duration<double, std::micro>(middle - start).count());
    getline.Add(std::chrono::duration<double, std::micro>(end - middle).count());
  }
  state.counters["load_us"] = load.Median();
  state.counters["getline_us"] = getline.Median();
  state.counters["ratio"] = load.Median() / getline.Median();
}
BENCHMARK(BM_LoadToGetlineRatio)->Unit(benchmark::kMicrosecond)->Iterations(2000);

void BM_ComposeDump(benchmark::State& state) {
  const FirmwareImage file = FullImage();
  FirmwareImage device = file;
  // Every other word differs: the most runs a dump can have.
  for (int32_t i = 0; i < kFlashSize; i += 4) device[i] ^= 1;
  for (int32_t k = 0; k < kRegionCount; ++k) device.Slot(k)[0] = 0;
  auto dump = std::make_unique<DumpComposer>();
  for (auto _ : state) {
    dump->Compose(file, file, device);
    benchmark::DoNotOptimize(dump->FlashText().data());
  }
  state.counters["runs"] = static_cast<double>(dump->FlashRuns().size() + dump->RegionRuns().size());
}
BENCHMARK(BM_ComposeDump)->Unit(benchmark::kMicrosecond);

void BM_FormatHexFile(benchmark::State& state) {
  const FirmwareImage image = FullImage();
  for (auto _ : state) benchmark::DoNotOptimize(FormatHexFile(image));
}
BENCHMARK(BM_FormatHexFile)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tolvane

BENCHMARK_MAIN();
