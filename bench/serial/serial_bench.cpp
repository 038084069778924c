// How long the port list takes to build, and what a read command's round trip
// (5-byte request, 32-byte reply) costs over a pseudo-terminal pair, where the
// wire adds no time: the program's own share of every exchange.
#include "protocol/link_constants.h"
#include "pty.h"
#include "serial/perf_timer.h"
#include "serial/port_list.h"
#include "serial/serial_port.h"
#include "samples.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace tolvane {
namespace {

void BM_EnumeratePorts(benchmark::State& state) {
  Samples samples;
  for (auto _ : state) {
    OPerfTimer timer;
    OSerialPortList list;
    list.Enumerate();
    benchmark::DoNotOptimize(list.Count());
    samples.Add(timer.Elapsed() * 1e6);
  }
  state.counters["median_us"] = samples.Median();
}
BENCHMARK(BM_EnumeratePorts)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The device side: answers every 5-byte read request with 32 bytes.
void AnswerReads(int master, const std::atomic<bool>& stop) {
  uint8_t request[link::kReadRequestSize];
  uint8_t reply[link::kReadReplySize];
  std::fill(std::begin(reply), std::end(reply), uint8_t{0x5A});
  size_t have = 0;
  while (!stop.load()) {
    struct pollfd p {
      master, POLLIN, 0
    };
    if (::poll(&p, 1, 50) <= 0) continue;
    ssize_t n = ::read(master, request + have, sizeof request - have);
    if (n <= 0) return;
    have += static_cast<size_t>(n);
    if (have < sizeof request) continue;
    have = 0;
    (void)!::write(master, reply, sizeof reply);
  }
}

void BM_ReadCommandRoundTrip(benchmark::State& state) {
  test::PtyPair pty;
  OSerialPort port;
  if (!pty.Ok() || !port.OpenDevice(pty.SlavePath(), kDefaultBaud)) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  std::atomic<bool> stop{false};
  std::thread device(AnswerReads, pty.Master(), std::cref(stop));
  const uint8_t request[link::kReadRequestSize] = {link::kAttention, link::kCommandRead, 0x00, 0x04, 0x00};
  uint8_t reply[link::kReadReplySize];
  Samples samples;
  for (auto _ : state) {
    OPerfTimer timer;
    port.Write(request, sizeof request);
    int32_t got = 0;
    port.ReadTimed(reply, sizeof reply, got, link::kReadTimeoutMs);
    samples.Add(timer.Elapsed() * 1e6);
    if (got != link::kReadReplySize) {
      state.SkipWithError("short reply");
      break;
    }
  }
  stop = true;
  device.join();
  state.counters["median_us"] = samples.Median();
  state.SetBytesProcessed(state.iterations() * (link::kReadRequestSize + link::kReadReplySize));
}
BENCHMARK(BM_ReadCommandRoundTrip)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

}  // namespace
}  // namespace tolvane

BENCHMARK_MAIN();
