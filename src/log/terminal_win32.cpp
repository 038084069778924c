// The terminal sink on Windows. In a console window the text goes as UTF-16
// (cmd.exe and PowerShell then show Russian whatever their code page) and the
// colours are the console's own attributes, which the log's colour numbers
// are. Into a pipe or a file go the UTF-8 bytes as they are, without colours
// and without the C library's line-end translation.
#include "log/console_log.h"
#include "log/terminal.h"
#include "log/utf16.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

namespace tolvane {
namespace {

// A program without a console (the window) has no descriptor behind stderr.
HANDLE HandleOf(std::FILE* stream) {
  const int fd = _fileno(stream);
  return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

bool WriteUtf16(HANDLE console, std::string_view text) {
  const std::wstring wide = Utf16FromUtf8(text);
  DWORD written = 0;
  return wide.empty() || WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != 0;
}

// The bytes as they are: once per stream, binary mode (no "\r\n" for "\n").
bool WriteBytes(std::FILE* stream, std::string_view text) {
  const int fd = _fileno(stream);
  if (fd < 0) return true;  // no descriptor at all: nobody reads it
  static const bool stdoutBinary = _fileno(stdout) >= 0 && _setmode(_fileno(stdout), _O_BINARY) != -1;
  static const bool stderrBinary = _fileno(stderr) >= 0 && _setmode(_fileno(stderr), _O_BINARY) != -1;
  (void)stdoutBinary, (void)stderrBinary;
  errno = 0;
  const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  return std::fflush(stream) == 0 && written;
}

}  // namespace

bool StreamIsTerminal(std::FILE* stream) { return IsConsole(HandleOf(stream)); }

bool WriteText(std::FILE* stream, std::string_view text) {
  const HANDLE handle = HandleOf(stream);
  if (!IsConsole(handle)) return WriteBytes(stream, text);
  std::fflush(stream);  // anything written to the stream before goes first
  return WriteUtf16(handle, text);
}

bool EnableTerminalControls(std::FILE* stream) {
  const HANDLE handle = HandleOf(stream);
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || GetConsoleMode(handle, &mode) == 0) return false;
  if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) return true;
  return SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int TerminalColumns(std::FILE* stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(HandleOf(stream), &info) == 0) return 80;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? columns : 80;
}

void TerminalSink::WriteLine(std::span<const LogSpan> spans) {
  const HANDLE console = HandleOf(stderr);
  if (!IsConsole(console)) {
    m_Buffer.clear();
    for (const LogSpan& span : spans) m_Buffer.append(span.text);
    WriteBytes(stderr, m_Buffer);
    return;
  }
  CONSOLE_SCREEN_BUFFER_INFO info{};
  const bool colored = m_Color && GetConsoleScreenBufferInfo(console, &info) != 0;
  for (const LogSpan& span : spans) {
    if (colored) {
      // Normal text keeps the console's own colours, as on a terminal; a
      // colour without a background of its own keeps the console's.
      const WORD background = (span.color & 0xF0) != 0 ? WORD(span.color & 0xF0) : WORD(info.wAttributes & 0xF0);
      const bool normal = (span.color & 0x0F) == kColorNormal;
      SetConsoleTextAttribute(console, normal ? info.wAttributes : WORD(background | (span.color & 0x0F)));
    }
    WriteUtf16(console, span.text);
  }
  if (colored) SetConsoleTextAttribute(console, info.wAttributes);
}

}  // namespace tolvane
