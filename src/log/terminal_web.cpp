// The terminal sink in a web page: stderr is the browser's console, which is
// no terminal and shows escape sequences as they are, so the text goes plain.
#include "log/console_log.h"
#include "log/terminal.h"

#include <cerrno>

namespace tolvane {

bool StreamIsTerminal(std::FILE*) { return false; }

bool WriteText(std::FILE* stream, std::string_view text) {
  errno = 0;
  const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  return std::fflush(stream) == 0 && written;
}

bool EnableTerminalControls(std::FILE*) { return false; }

int TerminalColumns(std::FILE*) { return 80; }

void TerminalSink::WriteLine(std::span<const LogSpan> spans) {
  m_Buffer.clear();
  for (const LogSpan& span : spans) m_Buffer.append(span.text);
  WriteText(stderr, m_Buffer);
}

}  // namespace tolvane
