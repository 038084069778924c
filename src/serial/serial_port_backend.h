// The system side of one open serial port, as the port's shared logic
// (serial_port.cpp) drives it. Each platform's serial_port_*.cpp implements
// it and keeps its state (handle, saved line settings, time-outs) private.
#pragma once

#include "serial/serial_port.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace tolvane {

// Each call returns false with the system's code in `error` when the system
// refused.
class OSerialPort::Backend {
 public:
  using Clock = std::chrono::steady_clock;

  // Gives the line back as it was found, then closes.
  virtual ~Backend() = default;

  // Raw 8N1 at speed, no flow control, RTS on, DTR off; `taken` is the speed
  // the driver reports back.
  virtual bool Configure(int32_t speed, uint32_t& taken) = 0;
  // Makes reads possible without waiting (Windows: the no-wait time-outs).
  virtual bool PrepareReads() = 0;
  // Queue sizes, latency, event mask: what makes the line fast, best effort.
  virtual void Prepare(const std::string& name) = 0;
  // Takes what has arrived, up to count, at once.
  virtual bool ReadNow(uint8_t* buffer, int32_t count, int32_t& received, uint32_t& error) = 0;
  // Gathers count bytes, or what has come by the deadline.
  virtual bool ReadUntil(uint8_t* buffer, int32_t count, int32_t& received, Clock::time_point deadline,
                         uint32_t& error) = 0;
  // Sends all of data; gives up when the line takes nothing for a while or
  // *stop turns true.
  virtual bool Write(const uint8_t* data, int32_t count, const std::atomic<bool>* stop, uint32_t& error) = 0;
  virtual bool ClearErrors(bool& frameError) = 0;
  virtual int32_t PendingOutput() = 0;
  // Drops what is queued for sending and not yet on the line.
  virtual void DiscardOutput() = 0;
};

// A write that the line takes nothing of for this long gives up (a peer that
// never drains must not hang the program).
inline constexpr int kWriteStallMs = 5000;

// The openers, as the table in serial_port.cpp probes them: each returns
// null with error 0 for a name it does not know.
std::unique_ptr<OSerialPort::Backend> OpenSystemPort(const std::string& name, uint32_t& error);

}  // namespace tolvane
