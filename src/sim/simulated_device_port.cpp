#include "sim/simulated_device_port.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>

#include "serial/system_error.h"

namespace tolvane {

using sim::NowNs;

namespace {
constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
}  // namespace

SimulatedDevicePort::SimulatedDevicePort(SimulatedDeviceOptions options, const FirmwareImage& memory)
    : m_Options(std::move(options)),
      m_Memory(memory),
      m_Machine(m_Options, m_Memory, m_Stats),
      m_Wire(m_Options.BaudRate) {
  m_Machine.Reset(NowNs());
}

void SimulatedDevicePort::TakeInput(int64_t atNs) {
  const size_t n = std::min(m_LineIn.size(), m_Wire.InputRoom(atNs));
  if (n > 0) {
    const std::vector<uint8_t> bytes(m_LineIn.begin(), m_LineIn.begin() + static_cast<std::ptrdiff_t>(n));
    m_LineIn.erase(m_LineIn.begin(), m_LineIn.begin() + static_cast<std::ptrdiff_t>(n));
    m_Wire.Arrive(bytes.data(), n, atNs);
  }
  // Each byte is answered as it is taken, stamped with the end of its wire
  // time; the reply goes on the wire from then (SimulatedDevice does the same).
  sim::TimedByte in{};
  while (m_VanishNs < 0 && m_Wire.NextInput(in)) {
    sim::MonitorAction action = m_Machine.Feed(in.Byte, in.AtNs);
    if (action.Vanish) {
      m_VanishNs = in.AtNs;
      break;
    }
    if (!action.Reply.empty()) m_Wire.Schedule(action.Reply, in.AtNs + action.DelayNs);
  }
  if (m_VanishNs >= 0) m_Wire.DropInput();
  // Every byte of a reply with its own moment, so that a read can sleep until
  // the one it waits for.
  uint8_t byte = 0;
  int64_t dueNs = 0;
  while (m_Wire.TakeDue(kNever, &byte, 1, dueNs) == 1) m_Replies.push_back({byte, dueNs});
}

void SimulatedDevicePort::Advance(int64_t nowNs) {
  if (m_Gone) return;
  // The device's queue had room again, taking the bytes that waited in the line.
  while (!m_LineIn.empty() && m_VanishNs < 0) {
    const int64_t atNs = m_Wire.InputRoomAtNs();
    if (atNs > nowNs) break;
    TakeInput(atNs);
  }
  m_Machine.Tick(nowNs);
  const int64_t throughNs = m_VanishNs >= 0 ? std::min(nowNs, m_VanishNs - 1) : nowNs;
  while (!m_Replies.empty() && m_Replies.front().AtNs <= throughNs) {
    m_Received.push_back(m_Replies.front().Byte);
    m_Replies.pop_front();
    ++m_Stats.BytesSent;
  }
  if (m_VanishNs >= 0 && nowNs >= m_VanishNs) {
    // The line closes: nothing more goes either way.
    m_Gone = true;
    m_Machine.MarkVanished();
    m_Replies.clear();
    m_LineIn.clear();
  }
}

bool SimulatedDevicePort::Gone() {
  if (!m_Gone || !m_Received.empty()) return false;
  m_LastError = kSystemDeviceGone;
  return true;
}

bool SimulatedDevicePort::Write(const uint8_t* data, int32_t count) {
  const int64_t nowNs = NowNs();
  Advance(nowNs);
  if (m_Gone) {
    m_LastError = kSystemDeviceGone;
    return false;
  }
  if (count <= 0) return true;
  m_LineIn.insert(m_LineIn.end(), data, data + count);
  TakeInput(nowNs);
  return true;
}

bool SimulatedDevicePort::Read(uint8_t* buffer, int32_t max, int32_t& received) {
  received = 0;
  Advance(NowNs());
  if (Gone()) return false;
  while (received < max && !m_Received.empty()) {
    buffer[received++] = m_Received.front();
    m_Received.pop_front();
  }
  return true;
}

int64_t SimulatedDevicePort::NextWakeNs(int32_t missing) const {
  int64_t wakeNs = kNever;
  const size_t nth = static_cast<size_t>(std::max<int32_t>(1, missing));
  if (m_Replies.size() >= nth) wakeNs = m_Replies[nth - 1].AtNs;
  // Bytes waiting in the line may bring more of the reply once taken.
  if (!m_LineIn.empty()) wakeNs = std::min(wakeNs, m_Wire.InputRoomAtNs());
  if (m_VanishNs >= 0) wakeNs = std::min(wakeNs, m_VanishNs);
  return wakeNs;
}

bool SimulatedDevicePort::ReadTimed(uint8_t* buffer, int32_t wanted, int32_t& received, int32_t timeoutMs) {
  received = 0;
  m_LastError = 0;
  const int64_t deadlineNs = NowNs() + int64_t{timeoutMs} * 1'000'000;
  for (;;) {
    int32_t got = 0;
    if (!Read(buffer + received, wanted - received, got)) return false;
    received += got;
    if (received >= wanted) return true;
    const int64_t nowNs = NowNs();
    if (nowNs >= deadlineNs) return true;
    const int64_t wakeNs = std::min(NextWakeNs(wanted - received), deadlineNs);
    // In a web page the sleep waits on the browser's event loop.
    if (wakeNs > nowNs) std::this_thread::sleep_for(std::chrono::nanoseconds(wakeNs - nowNs));
  }
}

void SimulatedDevicePort::DiscardOutput() {
  Advance(NowNs());
  m_LineIn.clear();
}

}  // namespace tolvane
