#include "serial/system_error.h"

#include <cstring>
#include <type_traits>

namespace tolvane {

std::string FormatSystemError(uint32_t code) {
  if (code == 0 || code > 0x7FFFFFFFu) return "?";
  char buffer[4096] = "?";
  // The GNU strerror_r returns its text (maybe a static one); the POSIX one
  // fills the buffer. Both forms are handled by looking at the result type.
  auto result = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
  const char* text = nullptr;
  if constexpr (std::is_same_v<decltype(result), int>)
    text = result == 0 ? buffer : nullptr;
  else
    text = result;
  // glibc names unknown codes "Unknown error N": that is no text of its own.
  if (text == nullptr || std::strncmp(text, "Unknown error", 13) == 0) return "?";
  return text;
}

}  // namespace tolvane
