#include "sim/wire_pacing.h"

#include <time.h>

#include <algorithm>
#include <limits>
#include <thread>

#include "protocol/link_constants.h"

namespace tolvane::sim {
namespace {

// Reply bytes due within this span of the first pending one go out in one
// write: the receiver never sees a byte early, only the first ones of a long
// reply up to this much late, and the device wakes far less often.
constexpr int64_t kOutputBatchNs = 1'000'000;
// Wire time of the client's bytes the device's end takes ahead of the line
// (several frames): the rest waits in the line's own buffer, as on a real
// line, and reaches the device no faster than the line carries it.
constexpr int64_t kInputQueueNs = 50'000'000;
// How far ahead of a reply's last byte the thread wakes to spin.
constexpr int64_t kSpinLeadNs = 200'000;

std::atomic<int> g_Spinning{0};

}  // namespace

int64_t NowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

SpinSlot::SpinSlot() {
  static const int limit = std::max(1, static_cast<int>(std::thread::hardware_concurrency()) - 1);
  int spinning = g_Spinning.load();
  while (spinning < limit)
    if (g_Spinning.compare_exchange_weak(spinning, spinning + 1)) {
      m_Taken = true;
      break;
    }
}

SpinSlot::~SpinSlot() {
  if (m_Taken) --g_Spinning;
}

WirePacing::WirePacing(int32_t baudRate) {
  if (baudRate > 0) m_ByteNs = int64_t{link::kBitsPerByte} * 1'000'000'000 / baudRate;
}

void WirePacing::Schedule(const std::vector<uint8_t>& bytes, int64_t startNs) {
  int64_t at = std::max(m_OutFreeNs, startNs);
  for (uint8_t b : bytes) {
    at += m_ByteNs;
    m_Out.push_back({b, at});
  }
  m_OutFreeNs = at;
}

void WirePacing::CutOff(int64_t nowNs) {
  m_Out.clear();
  m_OutFreeNs = nowNs;
}

size_t WirePacing::TakeDue(int64_t nowNs, uint8_t* out, size_t room, int64_t& lastAtNs) {
  size_t n = 0;
  while (n < room && !m_Out.empty() && m_Out.front().AtNs <= nowNs) {
    lastAtNs = m_Out.front().AtNs;
    out[n++] = m_Out.front().Byte;
    m_Out.pop_front();
  }
  return n;
}

int64_t WirePacing::OutputDeadline(bool& replyEnd) const {
  replyEnd = false;
  if (m_Out.empty()) return std::numeric_limits<int64_t>::max();
  int64_t batchEnd = m_Out.front().AtNs;
  for (const TimedByte& out : m_Out) {
    if (out.AtNs > m_Out.front().AtNs + kOutputBatchNs) break;
    batchEnd = out.AtNs;
  }
  replyEnd = Emulated() && batchEnd == m_Out.back().AtNs;
  return batchEnd;
}

size_t WirePacing::InputRoom(int64_t nowNs) const {
  if (!Emulated()) return std::numeric_limits<size_t>::max();
  const int64_t ahead = std::max<int64_t>(0, m_InFreeNs - nowNs);
  return ahead >= kInputQueueNs ? 0 : static_cast<size_t>((kInputQueueNs - ahead) / m_ByteNs) + 1;
}

int64_t WirePacing::InputRoomAtNs() const {
  // Half the queue at a time: the thread need not wake for every byte.
  return m_InFreeNs - kInputQueueNs / 2;
}

void WirePacing::Arrive(const uint8_t* bytes, size_t count, int64_t nowNs) {
  for (size_t i = 0; i < count; ++i) {
    // Taken as sent at the moment it was read: the wire starts then, or when
    // the previous byte is through.
    m_InFreeNs = std::max(m_InFreeNs, nowNs) + m_ByteNs;
    m_In.push_back({bytes[i], m_InFreeNs});
  }
}

bool WirePacing::NextInput(TimedByte& byte) {
  if (m_In.empty()) return false;
  byte = m_In.front();
  m_In.pop_front();
  return true;
}

int64_t WirePacing::WakeTime(int64_t deadlineNs, bool replyEnd) const {
  return replyEnd ? deadlineNs - kSpinLeadNs : deadlineNs;
}

bool WirePacing::SpinUntil(int64_t deadlineNs, const std::atomic<bool>& stop) {
  const SpinSlot slot;
  if (!slot) return false;
  while (NowNs() < deadlineNs && !stop) {
  }
  return true;
}

}  // namespace tolvane::sim
