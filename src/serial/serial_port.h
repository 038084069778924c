// The serial port the device is reached through: exclusive, synchronous, raw
// 8N1 without flow control, with two read behaviours (return at once with what
// has arrived, or wait for a count). The system calls behind it live in one
// backend per platform (serial_port_posix.cpp, serial_port_win32.cpp).
#pragma once

#include "serial/byte_port.h"

#include <cstdint>
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

// The line settings as the driver reported them after the open.
struct LineSettings {
  uint32_t BaudRate = 0;
  uint8_t ByteSize = 0;
  uint8_t Parity = 0;    // 0: none
  uint8_t StopBits = 0;  // 0: one stop bit
};

// A backend's code for "this device is not a serial port" (outside the
// ranges of both errno and Windows system codes).
inline constexpr uint32_t kNotSerialDevice = 0x20000001u;

inline constexpr intptr_t kInvalidPort = -1;  // INVALID_HANDLE_VALUE, or fd -1

// The line speed of the device's monitor: what the port selector opens a port
// at, and the command line's default.
inline constexpr int32_t kDefaultBaud = 57600;

class OSerialPort : public IBytePort {
 public:
  OSerialPort() = default;
  ~OSerialPort() override;
  OSerialPort(const OSerialPort&) = delete;
  OSerialPort& operator=(const OSerialPort&) = delete;

  // Opens port number n: "\\.\COMn" on Windows, /dev/ttyS<n-1> elsewhere.
  bool Open(int32_t n, int32_t speed);
  // Opens the device by the system's name for it (a path such as
  // /dev/ttyUSB0, or "\\.\COM3").
  bool OpenDevice(const std::string& name, int32_t speed);
  void Close();
  void SetWaitStrategy(bool wait);

  // IBytePort
  bool IsOpen() const override { return m_hPort != kInvalidPort; }
  void Write(const uint8_t* data, int32_t count) override;
  bool Read(uint8_t* buffer, int32_t max, int32_t& received) override;
  bool ReadTimed(uint8_t* buffer, int32_t wanted, int32_t& received, int32_t timeoutMs) override;
  bool ClearLineErrors() override;
  int32_t PendingOutput() const override;
  uint32_t LastError() const override { return m_LastError; }
  int32_t FrameErrors() const override { return m_FrameErrors; }
  const std::string& ErrorText() const override { return m_ErrorText; }

  // How often a time-out set was handed to the driver since construction.
  int32_t TimeoutWrites() const { return m_TimeoutWrites; }

  std::string m_ErrorText;       // last failure to open or configure
  int32_t m_FrameErrors = 0;     // ClearLineErrors calls that saw a framing error
  intptr_t m_hPort = kInvalidPort;
  LineSettings m_Dcb;            // as read back after the open
  uint32_t m_LastError = 0;      // system code of the last failed read, 0: none
  uint8_t m_Wait = 0;            // 0: no-wait strategy, 1: wait strategy
  PortTimeouts m_TimeoutsNoWait;
  PortTimeouts m_TimeoutsWait;

 private:
  // Backend calls, one per system call of the port. Each returns false with
  // the system's code in `error` when the system refused.
  static std::string DeviceNameOf(int32_t n);
  bool SysOpen(const std::string& name, uint32_t& error);
  void SysClose();
  bool SysConfigure(int32_t speed);         // line settings; fills m_Dcb
  void SysPrepare(const std::string& name);  // queue sizes, latency, event mask
  bool SysSetTimeouts(const PortTimeouts& timeouts);
  bool SysRead(uint8_t* buffer, int32_t count, int32_t& received, uint32_t& error);
  void SysWrite(const uint8_t* data, int32_t count);
  bool SysClearErrors(bool& frameError);
  int32_t SysPendingOutput() const;

  int32_t m_TimeoutWrites = 0;
  PortTimeouts m_Active;            // the set the driver holds (POSIX reads obey it)
  uint32_t m_FrameCountSeen = 0;    // driver's cumulative framing-error count
  mutable bool m_FramePending = false;  // a framing error taken while asking for the queue
};

}  // namespace tolvane
