// Text for a person at a terminal or console, and the platform's side of
// TerminalSink (terminal_posix.cpp, terminal_win32.cpp).
#pragma once

#include <cstdio>
#include <string_view>

namespace tolvane {

// True when the stream is shown to a person: a terminal, a console window.
bool StreamIsTerminal(std::FILE* stream);

// Writes UTF-8 text as the stream's reader sees it: to a Windows console as
// UTF-16 (so Russian shows whatever its code page), elsewhere the bytes as
// they are. False when not all of it could be written (a closed pipe, a full
// disk), with errno set.
bool WriteText(std::FILE* stream, std::string_view text);

// Asks the terminal behind the stream to obey ANSI control sequences (erase
// to the end of the line, colours). False where it cannot: no terminal, or a
// console without virtual-terminal processing.
bool EnableTerminalControls(std::FILE* stream);

// How many characters a line of the terminal behind the stream holds; 80
// when it cannot be told.
int TerminalColumns(std::FILE* stream);

}  // namespace tolvane
