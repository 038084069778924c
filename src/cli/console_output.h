// Everything tolvane-cli prints goes through here: results on stdout,
// messages on stderr, as the reader's terminal shows them (UTF-16 to a
// Windows console, the UTF-8 bytes elsewhere).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tolvane::cli {

// printf-style, to stdout and to stderr.
void Print(const char* format, ...);
void PrintError(const char* format, ...);
// Text as it is.
void Write(std::FILE* stream, std::string_view text);

// Why stdout could not take everything (a closed pipe, a full disk); empty
// while it could.
std::string OutputFailure();

}  // namespace tolvane::cli
