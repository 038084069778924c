// The serial port the device is reached through: exclusive, synchronous, raw
// 8N1 without flow control, with two reads: one that returns at once with
// what has arrived, and one that waits for a count until its own deadline.
//
// Errors, in this layer: every operation that can fail returns false and
// leaves the reason in the port, read through its accessors: ErrorText()
// for opening, LastError() (the system's code, see FormatSystemError) for
// the last failed read or write, and ErrorKind() for what a caller branches
// on. A write that fails says so itself. Nothing fails silently.
//
// What a platform needs (its handle, the line settings found, how it makes
// a read wait) is its backend's private state, in serial_port_posix.cpp or
// serial_port_win32.cpp, whichever CMake builds, or in the line inside the
// program (in_process_line.cpp). Which backend opens a name is the table of
// openers in serial_port.cpp.
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
// The same, then the signal's default action, which ends the program: what
// a second interrupt does. Async-signal-safe on POSIX.
void GiveBackPortsAndRaise(int signalNumber);

// What went wrong with a port, for callers that act on it; the system's own
// code and text stay beside it.
enum class PortError { None, NotFound, Busy, NoPermission, NotSerialPort, Lost, TimedOut, Other };

// The kind of a code that a port reported (system_error_PLATFORM.cpp).
PortError KindOfError(uint32_t code);

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
  void DiscardOutput() override;
  uint32_t LastError() const override { return m_LastError; }
  int32_t FrameErrors() const override { return m_FrameErrors; }
  const std::string& ErrorText() const override { return m_ErrorText; }
  // The kind of the last failure: of the last open that failed while the
  // port is closed, else of LastError().
  PortError ErrorKind() const;

 protected:
  // Read through the accessors above; a test's port may set them.
  std::string m_ErrorText;    // last failure to open or configure
  uint32_t m_LastError = 0;   // system code of the last failed read or write, 0: none
  int32_t m_FrameErrors = 0;  // ClearLineErrors calls that saw a framing error

 private:
  std::unique_ptr<Backend> m_Backend;  // null while closed
  uint32_t m_OpenError = 0;            // code of the last open that failed
  uint32_t m_LoggedWriteError = 0;     // the kind of write failure last traced
  const std::atomic<bool>* m_Stop = nullptr;
};

}  // namespace tolvane
