// The port's logic, the same on every platform; the system calls it makes are
// the Sys* functions of the platform's backend.
#include "serial/serial_port.h"

#include "serial/serial_port_backend.h"

#include "serial/in_process_line.h"
#include "log/console_log.h"
#include "serial/system_error.h"

#include <chrono>

namespace tolvane {
namespace {

// "Не могу открыть выбранный порт %s\r\n" and "... (скорость %d  бод) !",
// filled in by concatenation.
constexpr const char* kOpenFailed = "Не могу открыть выбранный порт ";
constexpr const char* kModeRefused = "Не могу установить для порта требуемый режим (скорость ";
constexpr const char* kModeRefusedEnd = "  бод) !";
constexpr const char* kTimeoutsRefused = "Не могу установить тайм-ауты для выбранного порта";
constexpr const char* kWriteFailed = "Не удалось передать данные в порт: ";
constexpr const char* kStrategyRefused = "OSerialPort::SetWaitStrategy() - call SetCommTimeouts() error !!!! \n";

// A millisecond tick that wraps at 32 bits, as the elapsed-time test expects.
uint32_t TickCount() {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<uint32_t>(ms.count());
}

}  // namespace

OSerialPort::OSerialPort() = default;

OSerialPort::~OSerialPort() { Close(); }

bool OSerialPort::OpenDevice(const std::string& name, int32_t speed) {
  // Whatever was open goes first, so a failure never leaves an old handle.
  Close();
  uint32_t error = 0;
  // A line inside the program (a built-in simulated device) before the system's ports.
  std::unique_ptr<Backend> backend = OpenInProcessPort(name, error);
  if (!backend && error == 0) backend = Backend::Open(name, error);
  if (!backend) {
    m_ErrorText = kOpenFailed + name + "\r\n" + FormatSystemError(error);
    if (const std::string advice = OpenFailureAdvice(name, error); !advice.empty()) m_ErrorText += "\r\n" + advice;
    return false;
  }
  m_FrameErrors = 0;
  m_WriteError = 0;
  m_LoggedWriteError = 0;
  uint32_t taken = 0;
  if (!backend->Configure(speed, taken)) {
    m_ErrorText = kModeRefused + std::to_string(speed) + kModeRefusedEnd;
    return false;
  }
  Log().Text("Speed = ").ULong(taken).Text("\n");
  if (!backend->SetTimeouts(kTimeoutsNoWait)) {
    m_ErrorText = kTimeoutsRefused;
    return false;
  }
  m_Wait = false;
  backend->Prepare(name);
  m_Backend = std::move(backend);
  return true;
}

void OSerialPort::Close() { m_Backend.reset(); }

bool OSerialPort::Write(const uint8_t* data, int32_t count) {
  if (!IsOpen()) return false;
  if (count <= 0) return true;
  uint32_t error = 0;
  if (m_Backend->Write(data, count, m_Stop, error)) return true;
  // The line is as good as gone: the caller sees it now, the next read too
  // (the receive tick and a reply's read report it as a failed read).
  m_LastError = error;
  m_WriteError = error;
  // One line per kind of failure: capture bursts keep writing to a port that
  // has gone, a thousand times a second.
  if (error != m_LoggedWriteError) {
    m_LoggedWriteError = error;
    Log().SetColor(kColorWarning).Text(kWriteFailed).Text(FormatSystemError(error)).Text("\n").SetColor(kColorNormal);
  }
  return false;
}

bool OSerialPort::TakeWriteError() {
  if (m_WriteError == 0) return false;
  m_LastError = m_WriteError;
  m_WriteError = 0;
  return true;
}

bool OSerialPort::Read(uint8_t* buffer, int32_t max, int32_t& received) {
  received = 0;
  if (!IsOpen()) {
    m_LastError = 0;
    return false;
  }
  if (TakeWriteError()) return false;
  if (m_Wait) SetWaitStrategy(false);
  uint32_t error = 0;
  if (!m_Backend->Read(buffer, max, received, error)) {
    m_LastError = error;
    return false;
  }
  return true;
}

bool OSerialPort::ReadTimed(uint8_t* buffer, int32_t wanted, int32_t& received, int32_t timeoutMs) {
  received = 0;
  m_LastError = 0;
  if (!IsOpen()) return false;
  if (TakeWriteError()) return false;
  if (!m_Wait) SetWaitStrategy(true);
  const uint32_t start = TickCount();
  for (;;) {
    int32_t got = 0;
    uint32_t error = 0;
    if (!m_Backend->Read(buffer + received, wanted - received, got, error)) {
      m_LastError = error;
      return false;
    }
    received += got;
    if (received >= wanted) return true;
    if (static_cast<int32_t>(TickCount() - start) > timeoutMs) return true;
  }
}

void OSerialPort::SetWaitStrategy(bool wait) {
  if (wait == m_Wait || !IsOpen()) return;
  m_Wait = wait;
  if (!m_Backend->SetTimeouts(wait ? kTimeoutsWait : kTimeoutsNoWait)) Log().Text(kStrategyRefused);
}

bool OSerialPort::ClearLineErrors() {
  if (!IsOpen()) return false;
  bool frameError = false;
  if (!m_Backend->ClearErrors(frameError)) return false;
  if (frameError) ++m_FrameErrors;
  return true;
}

int32_t OSerialPort::PendingOutput() const { return IsOpen() ? m_Backend->PendingOutput() : 0; }

}  // namespace tolvane
