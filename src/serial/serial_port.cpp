// The port's logic, the same on every platform: the openers it probes, the
// texts of its failures, its error fields; the system calls are its
// backend's.
#include "serial/serial_port.h"

#include "serial/serial_port_backend.h"

#include "serial/in_process_line.h"
#include "log/console_log.h"
#include "serial/system_error.h"

namespace tolvane {
namespace {

// "Не могу открыть выбранный порт %s\r\n" and "... (скорость %d  бод) !",
// filled in by concatenation.
constexpr const char* kOpenFailed = "Не могу открыть выбранный порт ";
constexpr const char* kModeRefused = "Не могу установить для порта требуемый режим (скорость ";
constexpr const char* kModeRefusedEnd = "  бод) !";
constexpr const char* kTimeoutsRefused = "Не могу установить тайм-ауты для выбранного порта";
constexpr const char* kWriteFailed = "Не удалось передать данные в порт: ";

// One waiting read call lasts until its count is there or this long has
// passed; ReadTimed makes calls until its own time-out has passed, so a read
// that gets no answer ends one to two seconds after it began, whatever the
// platform.
constexpr auto kReadCall = std::chrono::milliseconds(1000);

// The kinds of port a name may open, probed in turn: a line inside the
// program (a built-in simulated device) by the name it was registered under,
// then the system's port. An opener that does not know the name answers
// null with error 0; the first that knows it decides.
struct PortOpener {
  const char* Kind;
  std::unique_ptr<OSerialPort::Backend> (*Open)(const std::string& name, uint32_t& error);
};
constexpr PortOpener kPortOpeners[] = {
    {"line inside the program", OpenInProcessPort},
    {"system port", OpenSystemPort},
};

}  // namespace

OSerialPort::OSerialPort() = default;

OSerialPort::~OSerialPort() { Close(); }

bool OSerialPort::OpenDevice(const std::string& name, int32_t speed) {
  // Whatever was open goes first, so a failure never leaves an old handle.
  Close();
  uint32_t error = 0;
  std::unique_ptr<Backend> backend;
  for (const PortOpener& opener : kPortOpeners) {
    backend = opener.Open(name, error);
    if (backend || error != 0) break;
  }
  if (!backend) {
    m_OpenError = error;
    m_ErrorText = kOpenFailed + name + "\r\n" + FormatSystemError(error);
    if (const std::string advice = OpenFailureAdvice(name, error); !advice.empty()) m_ErrorText += "\r\n" + advice;
    return false;
  }
  // A port opened again starts clean: the failure of the one before is not its own.
  m_LastError = 0;
  m_FrameErrors = 0;
  m_LoggedWriteError = 0;
  uint32_t taken = 0;
  if (!backend->Configure(speed, taken)) {
    m_OpenError = kNotSerialDevice;
    m_ErrorText = kModeRefused + std::to_string(speed) + kModeRefusedEnd;
    return false;
  }
  Log().Text("Speed = ").ULong(taken).Text("\n");
  if (!backend->PrepareReads()) {
    m_OpenError = kNotSerialDevice;
    m_ErrorText = kTimeoutsRefused;
    return false;
  }
  backend->Prepare(name);
  m_Backend = std::move(backend);
  m_OpenError = 0;
  return true;
}

void OSerialPort::Close() { m_Backend.reset(); }

bool OSerialPort::Write(const uint8_t* data, int32_t count) {
  if (!IsOpen()) return false;
  if (count <= 0) return true;
  uint32_t error = 0;
  if (m_Backend->Write(data, count, m_Stop, error)) return true;
  // The line is as good as gone: the caller sees it now, and so does the
  // receive tick, which looks at the last error.
  m_LastError = error;
  // One line per kind of failure: capture bursts keep writing to a port that
  // has gone, a thousand times a second.
  if (error != m_LoggedWriteError) {
    m_LoggedWriteError = error;
    Log().SetColor(kColorWarning).Text(kWriteFailed).Text(FormatSystemError(error)).Text("\n").SetColor(kColorNormal);
  }
  return false;
}

bool OSerialPort::Read(uint8_t* buffer, int32_t max, int32_t& received) {
  received = 0;
  if (!IsOpen()) {
    m_LastError = 0;
    return false;
  }
  uint32_t error = 0;
  if (!m_Backend->ReadNow(buffer, max, received, error)) {
    m_LastError = error;
    return false;
  }
  return true;
}

bool OSerialPort::ReadTimed(uint8_t* buffer, int32_t wanted, int32_t& received, int32_t timeoutMs) {
  using Clock = Backend::Clock;
  received = 0;
  m_LastError = 0;
  if (!IsOpen()) return false;
  const Clock::time_point start = Clock::now();
  for (;;) {
    int32_t got = 0;
    uint32_t error = 0;
    if (!m_Backend->ReadUntil(buffer + received, wanted - received, got, Clock::now() + kReadCall, error)) {
      m_LastError = error;
      return false;
    }
    received += got;
    if (received >= wanted) return true;
    if (Clock::now() - start > std::chrono::milliseconds(timeoutMs)) return true;
  }
}

bool OSerialPort::ClearLineErrors() {
  if (!IsOpen()) return false;
  bool frameError = false;
  if (!m_Backend->ClearErrors(frameError)) return false;
  if (frameError) ++m_FrameErrors;
  return true;
}

int32_t OSerialPort::PendingOutput() const { return IsOpen() ? m_Backend->PendingOutput() : 0; }

void OSerialPort::DiscardOutput() {
  if (IsOpen()) m_Backend->DiscardOutput();
}

PortError OSerialPort::ErrorKind() const {
  if (!IsOpen()) return m_OpenError == 0 ? PortError::None : KindOfError(m_OpenError);
  return m_LastError == 0 ? PortError::None : KindOfError(m_LastError);
}

}  // namespace tolvane
