#include "session/monitor_wait.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "log/console_log.h"
#include "protocol/link_constants.h"

namespace tolvane {

using namespace link;

namespace {

using Clock = std::chrono::steady_clock;

// A few probes a second, counted from each probe's start: a device switched
// on is answered within this much, plus its reply.
constexpr auto kProbePeriod = std::chrono::milliseconds(150);
constexpr auto kReplyWait = std::chrono::milliseconds(120);  // a reply's 37 bytes take 7 ms at 57600 baud
constexpr auto kQuietAfter = std::chrono::milliseconds(15);  // a monitor says nothing beyond its reply
constexpr int32_t kProbeAddress = MemoryRegions[kRegionDeviceId].Start;

// The probe's own frame, as a loopback returns it.
std::array<uint8_t, kReadRequestSize> ProbeFrame() {
  std::array<uint8_t, kReadRequestSize> frame{kAttention, kCommandRead};
  PutAddress(frame.data() + 2, kProbeAddress);
  return frame;
}

// Sorts what arrives into our own bytes (capture bursts, the probe's frame)
// and any other.
class LineWatch {
 public:
  // Our own bytes are attention bytes (the bursts) and the probe frames;
  // a byte of the frame counts as ours only in its place after an attention
  // byte, so that steady 0xFF from a firmware is not taken for an echo.
  void Add(const uint8_t* bytes, int32_t count) {
    static const auto frame = ProbeFrame();
    for (int32_t i = 0; i < count; ++i) {
      ++m_Total;
      const uint8_t byte = bytes[i];
      if (m_InFrame > 0 && m_InFrame < frame.size() && byte == frame[m_InFrame]) {
        ++m_Own;
        m_InFrame = m_InFrame + 1 == frame.size() ? 0 : m_InFrame + 1;
      } else if (byte == kAttention) {
        ++m_Own;
        m_InFrame = 1;
      } else {
        m_InFrame = 0;
      }
    }
  }
  LineCarried Carried() const {
    if (m_Total == 0) return LineCarried::Nothing;
    return m_Own == m_Total ? LineCarried::OwnBytes : LineCarried::Traffic;
  }

 private:
  int64_t m_Total = 0;
  int64_t m_Own = 0;
  size_t m_InFrame = 0;  // place in a probe frame being echoed
};

// Sends the probe and gathers what comes for kReplyWait, capture bursts going
// on; true when a monitor's reply came: 32 bytes, not our frame, and nothing
// after it.
bool Probe(MonitorLink& link, LineWatch& watch) {
  IBytePort& port = link.Port();
  std::array<uint8_t, kSyncDrainSize> buffer;
  int32_t got = 0;
  port.Read(buffer.data(), kSyncDrainSize, got);  // what came since the last probe
  watch.Add(buffer.data(), got);
  const auto frame = ProbeFrame();
  if (!port.Write(frame.data(), kReadRequestSize)) return false;
  std::vector<uint8_t> reply;
  const Clock::time_point sent = Clock::now();
  Clock::time_point last = sent;
  while (Clock::now() - sent < kReplyWait && !(reply.size() >= kReadReplySize && Clock::now() - last > kQuietAfter)) {
    int32_t n = 0;
    port.Read(buffer.data(), kSyncDrainSize, n);
    if (n > 0) {
      reply.insert(reply.end(), buffer.begin(), buffer.begin() + n);
      last = Clock::now();
    }
    link.SendCaptureBurst();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const bool echo = reply.size() >= frame.size() && std::equal(frame.begin(), frame.end(), reply.begin());
  if (reply.size() == static_cast<size_t>(kReadReplySize) && !echo) return true;
  watch.Add(reply.data(), static_cast<int32_t>(reply.size()));
  return false;
}

bool Failed(const IBytePort& port) { return port.IsOpen() && port.LastError() != 0; }

}  // namespace

WaitResult WaitForMonitor(MonitorLink& link, double seconds, IRunReporter& reporter) {
  const Clock::time_point start = Clock::now();
  const auto deadline = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  WaitResult result;
  LineWatch watch;
  auto finish = [&](WaitEnd end) {
    result.End = end;
    result.Carried = watch.Carried();
    result.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (end == WaitEnd::PortFailed) {
      ReceiveMonitor receive;
      ReceiveTickResult tick = receive.Tick(link.Port());
      result.Failure = tick.Failure;
    }
    return result;
  };
  Clock::time_point nextProbe = start;
  Clock::time_point nextReport = start;
  bool waiting = false;
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (now >= nextProbe) {
      nextProbe = now + kProbePeriod;
      if (Probe(link, watch)) {
        finish(WaitEnd::Found);
        if (waiting) {
          reporter.Waiting(0);
          Log().Text("Монитор ответил через ").Dec(static_cast<int32_t>(result.Seconds + 0.5)).Text(" с\n");
        }
        return result;
      }
      if (Failed(link.Port())) return finish(WaitEnd::PortFailed);
      if (!waiting) {
        waiting = true;
        Log().Text("Жду монитор: включите или перезапустите устройство \n");
      }
    }
    if (now >= deadline) return finish(WaitEnd::TimedOut);
    if (reporter.StopRequested()) return finish(WaitEnd::Stopped);
    if (now >= nextReport) {
      reporter.Waiting(std::chrono::duration<double>(deadline - now).count());
      nextReport = now + std::chrono::seconds(1);
    }
    link.SendCaptureBurst();
    std::this_thread::sleep_for(std::chrono::milliseconds(kCapturePeriodMs));
  }
}

DeviceIdentity ReadIdentity(MonitorLink& link) {
  link.Synchronize();
  FirmwareImage image;
  for (int32_t region : {kRegionDeviceInformation, kRegionRevisionId, kRegionDeviceId}) {
    const ReadBlockResult read = link.ReadBlock(MemoryRegions[static_cast<size_t>(region)].Start);
    if (!read.Ok) return {};
    std::copy(read.Data.begin(), read.Data.end(), image.Slot(region));
  }
  return IdentityOf(image);
}

DepartureEnd WaitForDeparture(MonitorLink& link, const DeviceIdentity& device, IRunReporter& reporter,
                              const std::function<void()>& stillThere) {
  // Two probes in a row without an answer: one may be lost on a real line,
  // and the same device would then be taken for the next.
  constexpr int32_t kMissesGone = 2;
  LineWatch watch;
  int32_t misses = 0;
  bool said = false;
  Clock::time_point nextProbe = Clock::now();
  for (;;) {
    if (reporter.StopRequested()) return DepartureEnd::Stopped;
    if (const Clock::time_point now = Clock::now(); now >= nextProbe) {
      nextProbe = now + kProbePeriod;
      if (Probe(link, watch)) {
        // After a miss the device may have been swapped for the next.
        if (misses > 0) {
          const DeviceIdentity found = ReadIdentity(link);
          if (found.Known && found != device) return DepartureEnd::Gone;
        }
        misses = 0;
        if (!said && stillThere) stillThere();
        said = true;
      } else if (Failed(link.Port())) {
        return DepartureEnd::PortFailed;
      } else if (++misses >= kMissesGone) {
        return DepartureEnd::Gone;
      }
    }
    link.SendCaptureBurst();
    std::this_thread::sleep_for(std::chrono::milliseconds(kCapturePeriodMs));
  }
}

ProcedureOutcome NoMonitorOutcome(const WaitResult& wait) {
  char text[256];
  std::snprintf(text, sizeof text, "Монитор не ответил за %.0f с. ", wait.Seconds);
  std::string message = text;
  switch (wait.Carried) {
    case LineCarried::Nothing:
      message += "Линия молчит: нет питания, не подключён кабель или выбран не тот порт.";
      break;
    case LineCarried::OwnBytes:
      message += "Приходят обратно наши же байты: петля или адаптер, к которому ничего не подключено.";
      break;
    case LineCarried::Traffic:
      message += "По линии идёт текст или данные: работает прошивка. Перезапустите устройство при включённом захвате.";
      break;
  }
  return {message, "НЕТ ОТВЕТА", OutcomeIcon::Error};
}

std::string NoMonitorLine(const WaitResult& wait) {
  char text[96];
  std::snprintf(text, sizeof text, "no monitor answered within %.0f s: ", wait.Seconds);
  switch (wait.Carried) {
    case LineCarried::Nothing: return text + std::string("the line carried nothing (power, cable or the wrong port?)");
    case LineCarried::OwnBytes:
      return text + std::string("only our own bytes came back (a loopback, or an adapter with nothing behind it)");
    case LineCarried::Traffic:
      return text + std::string(
                        "the line carried text or steady bytes: the firmware is running; restart the device "
                        "while capture is on");
  }
  return text;
}

}  // namespace tolvane
