// The boot-monitor link: the frames of the protocol over a byte port, and the
// idle traffic (capture bursts, the receive tick) that runs between procedures.
// Nothing here knows about a window; callers show what the operations report.
//
// Errors, in this layer: each operation returns its outcome as a value
// (WriteOutcome, ReadBlockResult, ReceiveTickResult, ProcedureStatus); the
// message a user sees goes to the procedure observer's Outcome. The port's
// own error fields say what the system reported.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "protocol/link_constants.h"
#include "protocol/outcome.h"
#include "serial/byte_port.h"
#include "serial/perf_timer.h"
#include "serial/serial_port.h"

namespace tolvane {

// The result of one write command.
enum class WriteOutcome { Written, Protected, WrongAnswer, NoAnswer };

struct ReadBlockResult {
  bool Ok = false;
  int32_t Received = 0;  // bytes that arrived; kReadReplySize when Ok
  std::array<uint8_t, link::kReadReplySize> Data{};
};

// One request-reply exchange at a time; not safe to share between threads.
class MonitorLink {
 public:
  // baud: the line's speed, which paces the capture bursts.
  explicit MonitorLink(IBytePort& port, int32_t baud = kDefaultBaud) : m_Port(port), m_Baud(baud) {}

  IBytePort& Port() { return m_Port; }

  // Discards what is still queued for sending (capture bursts) and pending
  // input, sends 0xCD, pauses, discards input again, sends 0x00.
  void Synchronize();
  // Reads 32 bytes at a 24-bit address; fewer than 32 within the time-out is
  // a failure carrying the count. Surplus bytes stay queued.
  ReadBlockResult ReadBlock(int32_t address);
  // Writes one 64-byte block of flash (address a multiple of 64).
  WriteOutcome WriteBlock(int32_t address, std::span<const uint8_t, link::kWriteDataSize> data);
  // Synchronize, then the run frame; nothing is awaited.
  void StartFirmware();
  // Takes and discards what is waiting on the line, after a pause of waitMs
  // (0: none). Between two commands of a
  // procedure nothing should be there: bytes mean the last reply was followed
  // by surplus (or the firmware chatters), and the replies are shifted.
  // Returns the count taken.
  int32_t TakeSurplus(int32_t waitMs = 0);
  // Queues one capture burst unless the previous one is still unsent or was
  // started less than its wire time (80 bit times) ago, so a 1 ms request
  // rate never outruns the line, even where the port cannot tell what it
  // still holds, and never blocks the caller. True when a burst was queued.
  bool SendCaptureBurst();

 private:
  bool Send(const uint8_t* data, int32_t count) { return m_Port.Write(data, count); }

  IBytePort& m_Port;
  int32_t m_Baud;
  std::optional<std::chrono::steady_clock::time_point> m_LastBurst;
};

// Puts the three address bytes, low byte first, at out[0..2].
void PutAddress(uint8_t* out, int32_t address);

// What one receive tick asks its caller to do.
struct ReceiveTickResult {
  int32_t Received = 0;               // bytes taken this tick (logged and counted)
  std::optional<std::string> Status;  // new status field text, about once a second
  // A read call on the open port failed: drop the port (Deselect) and show
  // this. Nothing was counted.
  std::optional<ProcedureOutcome> Failure;
};

// The periodic drain of the line while no procedure runs: logs what arrives
// ("Принято ..."), measures the throughput and reports read failures.
class ReceiveMonitor {
 public:
  // now: the clock in seconds the throughput is measured by (the steady
  // clock unless a test keeps its own).
  explicit ReceiveMonitor(std::function<double()> now = nullptr);
  ReceiveTickResult Tick(IBytePort& port);

 private:
  std::function<double()> m_Now;
  int32_t m_ByteCount = 0;
  std::optional<double> m_Since;  // when the figure's second began
  int32_t m_LastFrameErrors = 0;
};

// The line's throughput as the status field says it: "5760.000 байт/с".
std::string RateText(double bytesPerSecond);

// Status field text after a device change: "открыт", the open error, or
// "не задан" when no port is selected.
std::string PortStatusText(const IBytePort& port, bool portSelected);

}  // namespace tolvane
