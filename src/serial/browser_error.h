// The browser's errors as codes of the serial layer (LastError, KindOfError):
// a DOMException's name is its code, and the browser's last message under
// that name is the code's text (FormatSystemError), as the system's text is
// on the desktop.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvane {

// The code of a "Name\nmessage" failure of the page's serial line, noting its
// message as the text of that code; 0 for an empty one.
uint32_t NoteBrowserError(std::string_view failure);

}  // namespace tolvane
