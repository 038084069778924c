// The port's logic, the same on every platform; the system calls it makes are
// the Sys* functions of the platform's backend.
#include "serial/serial_port.h"

#include "log/console_log.h"
#include "serial/system_error.h"

#include <chrono>

namespace tolvane {
namespace {

// "Не могу открыть выбранный порт %s\r\n" and "... (скорость %d  бод) !",
// filled in by concatenation.
constexpr const char* kOpenFailed = "Не могу открыть выбранный порт ";
constexpr const char* kNotSerialText = "Это не последовательный порт";
constexpr const char* kModeRefused = "Не могу установить для порта требуемый режим (скорость ";
constexpr const char* kModeRefusedEnd = "  бод) !";
constexpr const char* kTimeoutsRefused = "Не могу установить тайм-ауты для выбранного порта";
constexpr const char* kStrategyRefused =
    "OSerialPort::SetWaitStrategy() - call SetCommTimeouts() error !!!! \n";

// A millisecond tick that wraps at 32 bits, as the elapsed-time test expects.
uint32_t TickCount() {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<uint32_t>(ms.count());
}

}  // namespace

OSerialPort::~OSerialPort() { Close(); }

bool OSerialPort::Open(int32_t n, int32_t speed) {
  Close();
  return OpenDevice(DeviceNameOf(n), speed);
}

bool OSerialPort::OpenDevice(const std::string& name, int32_t speed) {
  // Whatever was open goes first, so a failure never leaves an old handle.
  Close();
  uint32_t error = 0;
  if (!SysOpen(name, error)) {
    m_hPort = kInvalidPort;
    m_ErrorText = kOpenFailed + name + "\r\n" +
                  (error == kNotSerialDevice ? std::string(kNotSerialText) : FormatSystemError(error));
    return false;
  }
  m_FrameErrors = 0;
  if (!SysConfigure(speed)) {
    m_ErrorText = kModeRefused + std::to_string(speed) + kModeRefusedEnd;
    Close();
    return false;
  }
  Log().Text("Speed = ").ULong(m_Dcb.BaudRate).Text("\n");
  m_TimeoutsNoWait = kTimeoutsNoWait;
  ++m_TimeoutWrites;
  if (!SysSetTimeouts(m_TimeoutsNoWait)) {
    m_ErrorText = kTimeoutsRefused;
    Close();
    return false;
  }
  m_TimeoutsWait = kTimeoutsWait;
  m_Wait = 0;
  SysPrepare(name);
  return true;
}

void OSerialPort::Close() {
  if (m_hPort == kInvalidPort) return;
  SysClose();
  m_hPort = kInvalidPort;
}

void OSerialPort::Write(const uint8_t* data, int32_t count) {
  if (!IsOpen() || count <= 0) return;
  SysWrite(data, count);
}

bool OSerialPort::Read(uint8_t* buffer, int32_t max, int32_t& received) {
  received = 0;
  if (!IsOpen()) {
    m_LastError = 0;
    return false;
  }
  if (m_Wait == 1) SetWaitStrategy(false);
  uint32_t error = 0;
  if (!SysRead(buffer, max, received, error)) {
    m_LastError = error;
    return false;
  }
  return true;
}

bool OSerialPort::ReadTimed(uint8_t* buffer, int32_t wanted, int32_t& received, int32_t timeoutMs) {
  received = 0;
  m_LastError = 0;
  if (!IsOpen()) return false;
  if (m_Wait == 0) SetWaitStrategy(true);
  const uint32_t start = TickCount();
  for (;;) {
    int32_t got = 0;
    uint32_t error = 0;
    if (!SysRead(buffer + received, wanted - received, got, error)) {
      m_LastError = error;
      return false;
    }
    received += got;
    if (received >= wanted) return true;
    if (static_cast<int32_t>(TickCount() - start) > timeoutMs) return true;
  }
}

void OSerialPort::SetWaitStrategy(bool wait) {
  const uint8_t flag = wait ? 1 : 0;
  if (flag == m_Wait) return;
  m_Wait = flag;
  ++m_TimeoutWrites;
  if (!SysSetTimeouts(wait ? m_TimeoutsWait : m_TimeoutsNoWait)) Log().Text(kStrategyRefused);
}

bool OSerialPort::ClearLineErrors() {
  if (!IsOpen()) return false;
  bool frameError = false;
  if (!SysClearErrors(frameError)) return false;
  if (frameError) ++m_FrameErrors;
  return true;
}

int32_t OSerialPort::PendingOutput() const { return IsOpen() ? SysPendingOutput() : 0; }

}  // namespace tolvane
