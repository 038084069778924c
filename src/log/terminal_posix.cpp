// The terminal sink on a terminal or in a pipe: UTF-8 text, colours as ANSI
// escape sequences.
#include "log/console_log.h"
#include "log/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace tolvane {
namespace {

// ANSI forms of the console colours the trace uses; others show as normal.
const char* AnsiFor(int color) {
  switch (color & 0x0F) {
    case kColorBanner: return "\033[96m";
    case kColorWarning: return "\033[91m";
    case kColorAddress: return "\033[93m";
    default: return "\033[0m";
  }
}

}  // namespace

bool StreamIsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

bool WriteText(std::FILE* stream, std::string_view text) {
  errno = 0;
  const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  return std::fflush(stream) == 0 && written;
}

bool EnableTerminalControls(std::FILE* stream) { return StreamIsTerminal(stream); }

int TerminalColumns(std::FILE* stream) {
  winsize size{};
  if (ioctl(fileno(stream), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}

void TerminalSink::WriteLine(std::span<const LogSpan> spans) {
  m_Buffer.clear();
  bool colored = false;
  for (const LogSpan& span : spans) {
    if (m_Color) {
      bool normal = (span.color & 0x0F) == kColorNormal;
      if (!normal || colored) m_Buffer.append(AnsiFor(span.color));
      colored = !normal;
    }
    m_Buffer.append(span.text);
  }
  if (colored) {
    // Reset before the line end so a terminal never keeps the colour.
    bool endsInNewline = !m_Buffer.empty() && m_Buffer.back() == '\n';
    if (endsInNewline) m_Buffer.pop_back();
    m_Buffer.append("\033[0m");
    if (endsInNewline) m_Buffer.push_back('\n');
  }
  WriteText(stderr, m_Buffer);
}

}  // namespace tolvane
