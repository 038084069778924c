// The local time of a moment, as records and backup names write it; the
// C library's conversion is not safe to call from several threads at once,
// so every conversion goes through here.
#pragma once

#include <chrono>
#include <ctime>
#include <string>

namespace tolvane {

// The broken-down local time, and its offset from UTC in seconds.
std::tm LocalTime(std::chrono::system_clock::time_point when, long* utcOffset = nullptr);

// ISO 8601 with the offset: "2026-12-09T21:45:03+01:00".
std::string IsoLocalTime(std::chrono::system_clock::time_point when);

}  // namespace tolvane
