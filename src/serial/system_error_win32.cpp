#include "serial/system_error.h"

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

// Windows grants a port to whoever opens it first; "access denied" means
// another program holds it, which the system's text says.
std::string OpenFailureAdvice(const std::string&, uint32_t) { return {}; }

}  // namespace tolvane
