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

void WriteUtf16(HANDLE console, std::string_view text) {
  const std::wstring wide = Utf16FromUtf8(text);
  DWORD written = 0;
  if (!wide.empty()) WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

}  // namespace

bool StreamIsTerminal(std::FILE* stream) { return IsConsole(HandleOf(stream)); }

void TerminalSink::WriteLine(std::span<const LogSpan> spans) {
  const HANDLE console = HandleOf(stderr);
  if (!IsConsole(console)) {
    // Once, and only where there is a descriptor to set.
    static const bool binary = _fileno(stderr) >= 0 && _setmode(_fileno(stderr), _O_BINARY) != -1;
    (void)binary;
    m_Buffer.clear();
    for (const LogSpan& span : spans) m_Buffer.append(span.text);
    std::fwrite(m_Buffer.data(), 1, m_Buffer.size(), stderr);
    std::fflush(stderr);
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
