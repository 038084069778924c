// The platform's side of TerminalSink (terminal_posix.cpp, terminal_win32.cpp).
#pragma once

#include <cstdio>

namespace tolvane {

// True when the stream is shown to a person: a terminal, a console window.
bool StreamIsTerminal(std::FILE* stream);

}  // namespace tolvane
