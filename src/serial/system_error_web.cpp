// Errors in a web page: the browser names each failure of a port with a
// DOMException (its name and a message), which stands where errno does.
#include "serial/browser_error.h"
#include "serial/serial_port.h"
#include "serial/system_error.h"

#include <array>
#include <map>

namespace tolvane {
namespace {

// A code is its name's place in this list, from 1.
constexpr std::array<std::string_view, 12> kNames = {
    "NetworkError", "InvalidStateError", "NotFoundError", "SecurityError",      "NotAllowedError", "AbortError",
    "BreakError",   "FramingError",      "ParityError",   "BufferOverrunError", "TypeError",       "UnknownError",
};
constexpr uint32_t kUnknownError = kNames.size();

uint32_t CodeOf(std::string_view name) {
  for (size_t i = 0; i < kNames.size(); ++i)
    if (kNames[i] == name) return static_cast<uint32_t>(i + 1);
  return kUnknownError;
}

// The browser's last words for each code; the page has one thread.
std::map<uint32_t, std::string>& Messages() {
  static std::map<uint32_t, std::string> messages;
  return messages;
}

}  // namespace

// The port is held already: the browser says it is open.
const uint32_t kSystemBusy = CodeOf("InvalidStateError");
// The device went away (unplugged, the adapter failed).
const uint32_t kSystemDeviceGone = CodeOf("NetworkError");

uint32_t NoteBrowserError(std::string_view failure) {
  if (failure.empty()) return 0;
  const size_t end = failure.find('\n');
  const std::string_view name = failure.substr(0, end);
  const uint32_t code = CodeOf(name);
  std::string text(name);
  if (end != std::string_view::npos) {
    // Worded as the system's texts are, without a closing full stop: the
    // messages that quote it put their own.
    std::string_view message = failure.substr(end + 1);
    while (!message.empty() && (message.back() == '.' || message.back() == ' ')) message.remove_suffix(1);
    if (!message.empty()) text += ": " + std::string(message);
  }
  Messages()[code] = std::move(text);
  return code;
}

std::string PlatformErrorText(uint32_t code) {
  if (code == 0 || code > kNames.size()) return "?";
  const auto said = Messages().find(code);
  return said != Messages().end() ? said->second : std::string(kNames[code - 1]);
}

PortError KindOfError(uint32_t code) {
  switch (code) {
    case 0: return PortError::None;
    case kNotSerialDevice:
    case kOwnTerminal: return PortError::NotSerialPort;
    case kWriteStalled: return PortError::TimedOut;
    default: break;
  }
  const std::string_view name = code >= 1 && code <= kNames.size() ? kNames[code - 1] : std::string_view();
  if (name == "NetworkError") return PortError::Lost;
  if (name == "InvalidStateError") return PortError::Busy;
  if (name == "NotFoundError") return PortError::NotFound;
  if (name == "SecurityError" || name == "NotAllowedError") return PortError::NoPermission;
  return PortError::Other;
}

std::string OpenFailureAdvice(const std::string&, uint32_t) { return {}; }

}  // namespace tolvane
