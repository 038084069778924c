// The serial port the device is reached through: exclusive, synchronous, raw
// 8N1 without flow control, with two read behaviours (return at once with what
// has arrived, or wait for a count).
//
// Errors: every operation that can fail returns false and leaves the reason
// in the port: m_ErrorText for opening, m_LastError (the system's code, see
// FormatSystemError) for reading and writing. Nothing fails silently.
//
// Everything a platform needs (its handle, the line settings, the driver's
// time-outs) is the backend's private state, in serial_port_posix.cpp or
// serial_port_win32.cpp, whichever CMake builds.
#pragma once

#include "serial/byte_port.h"
#include "serial/system_error.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace tolvane {

// The line speed of the device's monitor: what the port selector opens a port
// at, and the command line's default.
inline constexpr int32_t kDefaultBaud = 57600;

// Gives every port the process holds back as it was found (line settings,
// no exclusive hold), at once; the ports stay open. For ends that skip the
// ports' own closing: a second interrupt, exit() from a library thread.
// Async-signal-safe on POSIX. Registered with atexit at the first open.
void GiveBackPortsNow();

class OSerialPort : public IBytePort {
 public:
  // The platform's side of an open port (serial_port_backend.h); only the
  // port and its backends use it.
  class Backend;

  OSerialPort();
  ~OSerialPort() override;
  OSerialPort(const OSerialPort&) = delete;
  OSerialPort& operator=(const OSerialPort&) = delete;

  // Opens the device by the system's name for it (a path such as
  // /dev/ttyUSB0, or "COM3"). Whatever was open is closed first.
  bool OpenDevice(const std::string& name, int32_t speed);
  // Closes the port and gives the line back as it was found.
  void Close();
  // false: the no-wait read behaviour; true: reads wait for their count.
  void SetWaitStrategy(bool wait);

  // A flag a blocked write watches: once it is set the write gives up at
  // once (with kWriteStalled) instead of waiting for the line. The flag must
  // outlive the port.
  void SetStopFlag(const std::atomic<bool>* stop) { m_Stop = stop; }

  // IBytePort
  bool IsOpen() const override { return m_Backend != nullptr; }
  bool Write(const uint8_t* data, int32_t count) override;
  bool Read(uint8_t* buffer, int32_t max, int32_t& received) override;
  bool ReadTimed(uint8_t* buffer, int32_t wanted, int32_t& received, int32_t timeoutMs) override;
  bool ClearLineErrors() override;
  int32_t PendingOutput() const override;
  uint32_t LastError() const override { return m_LastError; }
  int32_t FrameErrors() const override { return m_FrameErrors; }
  const std::string& ErrorText() const override { return m_ErrorText; }

  std::string m_ErrorText;    // last failure to open or configure
  uint32_t m_LastError = 0;   // system code of the last failed read or write, 0: none
  int32_t m_FrameErrors = 0;  // ClearLineErrors calls that saw a framing error

 private:
  // A write that failed makes the next read fail with its code.
  bool TakeWriteError();

  std::unique_ptr<Backend> m_Backend;  // null while closed
  bool m_Wait = false;                 // the waiting read behaviour is active
  uint32_t m_WriteError = 0;           // a failed write, for the next read to report
  uint32_t m_LoggedWriteError = 0;     // the kind of write failure last traced
  const std::atomic<bool>* m_Stop = nullptr;
};

}  // namespace tolvane
