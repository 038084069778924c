// The system side of one open serial port, as the port's shared logic
// (serial_port.cpp) drives it. Each platform's serial_port_*.cpp implements
// it and keeps its state (handle, saved line settings, time-outs) private.
#pragma once

#include "serial/serial_port.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace tolvane {

// A read time-out set, member for member as the Windows driver takes it
// (milliseconds; kNoInterval in ReadIntervalTimeout with the totals at 0 means
// "return at once with what is buffered").
struct PortTimeouts {
  uint32_t ReadIntervalTimeout = 0;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;
};

inline constexpr uint32_t kNoInterval = 0xFFFFFFFFu;  // MAXDWORD
inline constexpr PortTimeouts kTimeoutsNoWait{kNoInterval, 0, 0, 0, 0};
inline constexpr PortTimeouts kTimeoutsWait{1000, 0, 1000, 0, 0};

// Each call returns false with the system's code in `error` when the system
// refused.
class OSerialPort::Backend {
 public:
  // Opens the device exclusively and remembers its line settings.
  static std::unique_ptr<Backend> Open(const std::string& name, uint32_t& error);
  // Gives the line back as it was found, then closes.
  virtual ~Backend() = default;

  // Raw 8N1 at speed, no flow control, RTS on, DTR off; `taken` is the speed
  // the driver reports back.
  virtual bool Configure(int32_t speed, uint32_t& taken) = 0;
  // Queue sizes, latency, event mask: what makes the line fast, best effort.
  virtual void Prepare(const std::string& name) = 0;
  virtual bool SetTimeouts(const PortTimeouts& timeouts) = 0;
  // Reads as the active time-outs say. A no-wait read takes everything that
  // is waiting, up to count.
  virtual bool Read(uint8_t* buffer, int32_t count, int32_t& received, uint32_t& error) = 0;
  // Sends all of data; gives up when the line takes nothing for a while or
  // *stop turns true.
  virtual bool Write(const uint8_t* data, int32_t count, const std::atomic<bool>* stop, uint32_t& error) = 0;
  virtual bool ClearErrors(bool& frameError) = 0;
  virtual int32_t PendingOutput() = 0;
};

}  // namespace tolvane
