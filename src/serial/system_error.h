// The system's own text for an error code (errno here, GetLastError on
// Windows), as the port reports it to the user.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvane {

// "?" when the system has no text for the code.
std::string FormatSystemError(uint32_t code);

// A message of several lines (a port's open failure, a system text with its
// line end) as one line: its non-empty lines joined by ": ".
std::string OneLine(std::string_view text);

}  // namespace tolvane
