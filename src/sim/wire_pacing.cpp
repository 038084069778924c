#include "sim/wire_pacing.h"

#include <time.h>

#include <algorithm>
#include <limits>
#include <thread>

namespace tolvane::sim {
namespace {

// Reply bytes due within this span of the first pending one go out in one
// write: the receiver never sees a byte early, only the first ones of a long
// reply up to this much late, and the device wakes far less often.
constexpr int64_t kOutputBatchNs = 1'000'000;
// Wire time the client may run ahead of the line before its bytes are lost
// (several frames; a well-behaved client never comes near it).
constexpr int64_t kMaxInputBacklogNs = 50'000'000;
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
  if (baudRate > 0) m_ByteNs = 10'000'000'000 / baudRate;
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

int64_t WirePacing::Arrive(const uint8_t* bytes, size_t count, int64_t nowNs) {
  int64_t dropped = 0;
  for (size_t i = 0; i < count; ++i) {
    // A pseudo-terminal cannot tell its client that output is unsent, so a
    // client may offer more than the line carries (capture bursts every
    // millisecond). A real port would hold the excess back in its queue, and
    // the link sends no burst while one is unsent; here it is dropped.
    if (Emulated() && m_InFreeNs - nowNs > kMaxInputBacklogNs) {
      ++dropped;
      continue;
    }
    // Taken as sent at the moment it was read: the wire starts then, or when
    // the previous byte is through.
    m_InFreeNs = std::max(m_InFreeNs, nowNs) + m_ByteNs;
    m_In.push_back({bytes[i], m_InFreeNs});
  }
  return dropped;
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
