#include "serial/web_serial_port.h"

#include <emscripten.h>

#include <chrono>
#include <cstdlib>

#include "log/console_log.h"
#include "serial/browser_error.h"
#include "serial/system_error.h"

namespace tolvane {
namespace {

// The desktop port's words for the same failures (serial_port.cpp).
constexpr const char* kOpenFailed = "Не могу открыть выбранный порт ";
constexpr const char* kWriteFailed = "Не удалось передать данные в порт: ";

// The line's calls (web_serial.js). A failure comes back as a string the
// heap owns ("Name\nmessage"); success as none.
// clang-format off
EM_ASYNC_JS(char*, tolvane_serial_open, (int baud), {
  return tolvaneSerialText(await Module['serialLine'].open(baud));
});
EM_ASYNC_JS(void, tolvane_serial_close, (), {
  await Module['serialLine'].close();
});
EM_JS(char*, tolvane_serial_write, (const uint8_t* data, int count), {
  return tolvaneSerialText(Module['serialLine'].write(data, count));
});
EM_JS(int, tolvane_serial_take, (uint8_t* buffer, int max), {
  return Module['serialLine'].take(buffer, max);
});
EM_ASYNC_JS(void, tolvane_serial_wait, (int wanted, int timeoutMs), {
  await Module['serialLine'].wait(wanted, timeoutMs);
});
EM_JS(int, tolvane_serial_pending, (), {
  return Module['serialLine'].pending();
});
EM_ASYNC_JS(void, tolvane_serial_discard, (), {
  await Module['serialLine'].discard();
});
EM_JS(int, tolvane_serial_line_errors, (), {
  return Module['serialLine'].takeLineErrors();
});
EM_JS(char*, tolvane_serial_failure, (), {
  return tolvaneSerialText(Module['serialLine'].failure());
});
// clang-format on

// The text of a failure string, which is freed.
std::string Taken(char* text) {
  std::string taken = text != nullptr ? text : "";
  std::free(text);
  return taken;
}

}  // namespace

OWebSerialPort::~OWebSerialPort() { Close(); }

bool OWebSerialPort::Open(int32_t speed) {
  Close();
  const std::string failure = Taken(tolvane_serial_open(speed));
  if (!failure.empty()) {
    m_ErrorText = kOpenFailed + m_Name + "\r\n" + FormatSystemError(NoteBrowserError(failure));
    return false;
  }
  m_Open = true;
  m_ErrorText.clear();
  m_LastError = 0;
  m_LoggedWriteError = 0;
  m_FrameErrors = 0;
  Log().Text("Speed = ").ULong(static_cast<uint32_t>(speed)).Text("\n");
  return true;
}

void OWebSerialPort::Close() {
  if (!m_Open) return;
  m_Open = false;
  tolvane_serial_close();
}

bool OWebSerialPort::StillThere() {
  const std::string failure = Taken(tolvane_serial_failure());
  if (failure.empty()) return true;
  m_LastError = NoteBrowserError(failure);
  return false;
}

bool OWebSerialPort::Write(const uint8_t* data, int32_t count) {
  if (!m_Open) return false;
  if (count <= 0) return true;
  const std::string failure = Taken(tolvane_serial_write(data, count));
  if (failure.empty()) return true;
  m_LastError = NoteBrowserError(failure);
  // One line per kind of failure, as the desktop's port.
  if (m_LastError != m_LoggedWriteError) {
    m_LoggedWriteError = m_LastError;
    Log()
        .SetColor(kColorWarning)
        .Text(kWriteFailed)
        .Text(FormatSystemError(m_LastError))
        .Text("\n")
        .SetColor(kColorNormal);
  }
  return false;
}

bool OWebSerialPort::Read(uint8_t* buffer, int32_t max, int32_t& received) {
  received = 0;
  if (!m_Open) {
    m_LastError = 0;
    return false;
  }
  received = tolvane_serial_take(buffer, max);
  // What arrived before the loss is still handed out; then the loss is said.
  return received > 0 || StillThere();
}

bool OWebSerialPort::ReadTimed(uint8_t* buffer, int32_t wanted, int32_t& received, int32_t timeoutMs) {
  using Clock = std::chrono::steady_clock;
  received = 0;
  m_LastError = 0;
  if (!m_Open) return false;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    received += tolvane_serial_take(buffer + received, wanted - received);
    if (received >= wanted) return true;
    if (!StillThere()) return false;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return true;
    tolvane_serial_wait(wanted - received, static_cast<int>(left));
  }
}

bool OWebSerialPort::ClearLineErrors() {
  if (!m_Open) return false;
  if (tolvane_serial_line_errors() > 0) ++m_FrameErrors;
  return true;
}

int32_t OWebSerialPort::PendingOutput() const { return m_Open ? tolvane_serial_pending() : 0; }

void OWebSerialPort::DiscardOutput() {
  if (m_Open) tolvane_serial_discard();
}

}  // namespace tolvane
