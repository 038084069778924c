// The system's own text for an error code (errno here, GetLastError on
// Windows), as the port reports it to the user.
#pragma once

#include <cstdint>
#include <string>

namespace tolvane {

// "?" when the system has no text for the code.
std::string FormatSystemError(uint32_t code);

}  // namespace tolvane
