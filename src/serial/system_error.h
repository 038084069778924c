// The system's own text for an error code (errno here, GetLastError on
// Windows), as the port reports it to the user.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvane {

// The system's codes for a port another program holds, and for a device
// that is gone (unplugged while open).
extern const uint32_t kSystemBusy;
extern const uint32_t kSystemDeviceGone;

// The program's own codes for refusals that are not the system's (outside the
// ranges of both errno and Windows system codes).
inline constexpr uint32_t kNotSerialDevice = 0x20000001u;  // not a serial port at all
inline constexpr uint32_t kOwnTerminal = 0x20000002u;      // the program's own terminal
inline constexpr uint32_t kWriteStalled = 0x20000003u;     // the line took nothing for too long

// The text of a code: the program's own codes in Russian, the system's as
// the system words them; "?" when there is none.
std::string FormatSystemError(uint32_t code);

// The system's own text for one of its codes (system_error_PLATFORM.cpp).
std::string PlatformErrorText(uint32_t code);

// What the user can do about a port that could not be opened with this
// code, in Russian (the window and the command line show it under the
// system's text); empty when there is nothing to say.
std::string OpenFailureAdvice(const std::string& name, uint32_t code);

// A message of several lines (a port's open failure, a system text with its
// line end) as one line: its non-empty lines joined by ": ".
std::string OneLine(std::string_view text);

}  // namespace tolvane
