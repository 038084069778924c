#include "serial/system_error.h"
#include "serial/serial_port.h"

#include "serial/win32_text.h"

#include <windows.h>

namespace tolvane {

const uint32_t kSystemBusy = ERROR_ACCESS_DENIED;
const uint32_t kSystemDeviceGone = ERROR_BAD_COMMAND;

std::string PlatformErrorText(uint32_t code) {
  // A buffer of each call's own: ports on several threads fail at once.
  char buffer[4096] = "?";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0x0400, buffer, sizeof buffer, nullptr);
  if (n == 0) return "?";
  // Taken as the system gives it, line end included.
  return AnsiToUtf8(std::string(buffer, n));
}

PortError KindOfError(uint32_t code) {
  switch (code) {
    case 0: return PortError::None;
    case kNotSerialDevice:
    case kOwnTerminal: return PortError::NotSerialPort;
    case kWriteStalled:
    case ERROR_SEM_TIMEOUT: return PortError::TimedOut;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return PortError::NotFound;
    // Windows grants a port to one program; another one that has it is
    // reported as access denied.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return PortError::Busy;
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_OPERATION_ABORTED:
    case ERROR_INVALID_HANDLE: return PortError::Lost;
    default: return PortError::Other;
  }
}

// Windows grants a port to whoever opens it first; "access denied" means
// another program holds it, which the system's text says.
std::string OpenFailureAdvice(const std::string&, uint32_t) { return {}; }

}  // namespace tolvane
