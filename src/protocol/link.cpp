#include "protocol/link.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "log/console_log.h"
#include "serial/system_error.h"

namespace tolvane {

using namespace link;

void PutAddress(uint8_t* out, int32_t address) {
  uint32_t a = static_cast<uint32_t>(address);
  out[0] = static_cast<uint8_t>(a & 0xFFu);
  out[1] = static_cast<uint8_t>((a >> 8) & 0xFFu);
  out[2] = static_cast<uint8_t>((a >> 16) & 0xFFu);
}

void MonitorLink::Synchronize() {
  // Capture bursts the line has not carried yet would come before the frames.
  m_Port.DiscardOutput();
  std::array<uint8_t, kSyncDrainSize> discard;
  int32_t received = 0;
  m_Port.Read(discard.data(), kSyncDrainSize, received);
  const uint8_t attention = kAttention;
  Send(&attention, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(kSyncPauseMs));
  m_Port.Read(discard.data(), kSyncDrainSize, received);
  const uint8_t tail = kSyncTail;
  Send(&tail, 1);
}

ReadBlockResult MonitorLink::ReadBlock(int32_t address) {
  std::array<uint8_t, kReadRequestSize> request{kAttention, kCommandRead};
  PutAddress(request.data() + 2, address);
  ReadBlockResult result;
  // A request the line did not take gets no reply worth waiting for.
  if (!Send(request.data(), kReadRequestSize) && m_Port.IsOpen()) return result;
  // Judged by the count alone: whatever 32 bytes arrive are the data.
  m_Port.ReadTimed(result.Data.data(), kReadReplySize, result.Received, kReadTimeoutMs);
  result.Ok = result.Received == kReadReplySize;
  return result;
}

WriteOutcome MonitorLink::WriteBlock(int32_t address, std::span<const uint8_t, kWriteDataSize> data) {
  std::array<uint8_t, kWriteRequestSize> request{kAttention, kCommandWrite};
  PutAddress(request.data() + 2, address);
  std::copy(data.begin(), data.end(), request.begin() + kRequestHeaderSize);
  if (!Send(request.data(), kWriteRequestSize) && m_Port.IsOpen()) return WriteOutcome::NoAnswer;

  uint8_t reply = 0;
  int32_t received = 0;
  m_Port.ReadTimed(&reply, kWriteReplySize, received, kWriteTimeoutMs);
  if (received != kWriteReplySize) return WriteOutcome::NoAnswer;
  if (reply == kReplyWritten) return WriteOutcome::Written;
  if (reply == kReplyProtected) return WriteOutcome::Protected;
  return WriteOutcome::WrongAnswer;
}

void MonitorLink::StartFirmware() {
  Synchronize();
  const std::array<uint8_t, kRunRequestSize> request{kAttention, kCommandRun};
  Send(request.data(), kRunRequestSize);
}

int32_t MonitorLink::TakeSurplus(int32_t waitMs) {
  // A pause, not a waiting read: a waiting read lasts a second when nothing comes.
  if (waitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
  std::array<uint8_t, kSyncDrainSize> discard;
  int32_t taken = 0;
  m_Port.Read(discard.data(), kSyncDrainSize, taken);
  return taken;
}

bool MonitorLink::SendCaptureBurst() {
  if (!m_Port.IsOpen() || m_Port.PendingOutput() > 0) return false;
  const auto now = std::chrono::steady_clock::now();
  const auto wireTime = std::chrono::duration<double>(kCaptureBurstSize * kBitsPerByte / static_cast<double>(m_Baud));
  if (m_LastBurst && now - *m_LastBurst < wireTime) return false;
  m_LastBurst = now;
  std::array<uint8_t, kCaptureBurstSize> burst;
  burst.fill(kAttention);
  Send(burst.data(), kCaptureBurstSize);
  return true;
}

namespace {

// "Принято N байт: 01, ab, ff" with at most kReceiveLogLimit bytes shown.
void LogReception(const uint8_t* bytes, int32_t n) {
  std::string line;
  int32_t shown = std::min(n, kReceiveLogLimit);
  line.reserve(static_cast<size_t>(shown) * 4 + 8);
  char hex[4];
  for (int32_t i = 0; i < shown; ++i) {
    if (i > 0) line += ", ";
    std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
    line += hex;
  }
  if (n > kReceiveLogLimit) line += ", ...";
  line += "\n";
  Log().Text("Принято ").Dec(n).Text(" байт: ").Text(line);
}

}  // namespace

ReceiveMonitor::ReceiveMonitor(std::function<double()> now) : m_Now(std::move(now)) {
  if (!m_Now)
    m_Now = [] { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); };
}

ReceiveTickResult ReceiveMonitor::Tick(IBytePort& port) {
  ReceiveTickResult result;
  port.ClearLineErrors();
  std::array<uint8_t, kReceiveBufferSize> buffer;
  int32_t n = 0;
  port.Read(buffer.data(), kReceiveBufferSize, n);

  if (port.IsOpen() && port.LastError() != 0) {
    result.Failure =
        ProcedureOutcome{"Ошибка при чтении данных с выбранного порта\n" + FormatSystemError(port.LastError()) + "\n" +
                             "Попробуйте выбрать порт заново\n",
                         kPortErrorCaption, OutcomeIcon::Error};
    return result;
  }

  result.Received = n;
  if (n > 0) LogReception(buffer.data(), n);
  const double now = m_Now();
  if (!m_Since) m_Since = now;
  m_ByteCount += n;
  if (now - *m_Since > kThroughputPeriodS) {
    const double seconds = now - *m_Since;
    m_Since = now;
    std::string status = RateText(m_ByteCount / seconds);
    char text[64];
    int32_t frameErrors = port.FrameErrors();
    int32_t rise = frameErrors - m_LastFrameErrors;
    m_LastFrameErrors = frameErrors;
    if (rise > 0) {
      std::snprintf(text, sizeof text, ", ошибок %d", rise);
      status += text;
    }
    if (!port.IsOpen()) status = port.ErrorText();
    result.Status = std::move(status);
    m_ByteCount = 0;
  }
  return result;
}

std::string RateText(double bytesPerSecond) {
  char text[64];
  std::snprintf(text, sizeof text, "%0.3f байт/с", bytesPerSecond);
  return text;
}

std::string PortStatusText(const IBytePort& port, bool portSelected) {
  if (port.IsOpen()) return "открыт";
  if (portSelected) return port.ErrorText();
  return "не задан";
}

}  // namespace tolvane
