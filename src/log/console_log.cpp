#include "console_log.h"

#include "file_open.h"
#include "number_text.h"
#include "log/terminal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include <algorithm>
#include <array>

namespace tolvane {
namespace {

// The line the calling thread is assembling: its text and where each colour
// starts in it.
struct PendingLine {
  std::string text;
  std::vector<std::pair<size_t, int>> colorStarts;  // (offset in text, colour)
  int color = kColorNormal;
  std::string prefix;
  std::vector<LogSpan> spans;  // reused for every emitted line
};

PendingLine& Pending() {
  thread_local PendingLine line;
  return line;
}

void Append(std::string_view text) {
  if (text.empty()) return;
  PendingLine& line = Pending();
  if (line.colorStarts.empty() || line.colorStarts.back().second != line.color) {
    if (!line.colorStarts.empty() && line.colorStarts.back().first == line.text.size())
      line.colorStarts.back().second = line.color;
    else
      line.colorStarts.emplace_back(line.text.size(), line.color);
  }
  line.text.append(text);
}

}  // namespace

ConsoleLog& Log() {
  static ConsoleLog log;
  return log;
}

ConsoleLog& ConsoleLog::Text(std::string_view text) {
  // With no sink nothing would read the line: composing it is skipped.
  if (!m_Listened.load(std::memory_order_relaxed)) return *this;
  // The common case, a whole line with nothing pending, goes out as it is,
  // without a copy.
  PendingLine& line = Pending();
  if (line.text.empty() && !text.empty() && text.find('\n') == text.size() - 1) {
    std::array<LogSpan, 2> spans{LogSpan{kColorNormal, line.prefix}, LogSpan{line.color, text}};
    std::span<const LogSpan> whole(spans);
    if (line.prefix.empty()) whole = whole.subspan(1);
    Deliver(whole);
    return *this;
  }
  // A text may hold several line ends; each finished line goes out whole.
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) {
      Append(text);
      break;
    }
    Append(text.substr(0, end + 1));
    Emit(false);
    text.remove_prefix(end + 1);
  }
  return *this;
}

void ConsoleLog::Deliver(std::span<const LogSpan> spans) {
  std::lock_guard lock(m_Mutex);
  for (auto& sink : m_Sinks) sink->WriteLine(spans);
}

namespace {
// One number by its printf conversion, into a buffer that holds any of them.
template <typename T>
std::string_view Formatted(std::array<char, 512>& buf, const char* format, T value) {
  int n = std::snprintf(buf.data(), buf.size(), format, value);
  n = std::clamp(n, 0, static_cast<int>(buf.size()) - 1);
  return std::string_view(buf.data(), static_cast<size_t>(n));
}
}  // namespace

ConsoleLog& ConsoleLog::Dec(int32_t value) {
  if (!m_Listened.load(std::memory_order_relaxed)) return *this;
  char buf[16];
  return Text(std::string_view(buf, static_cast<size_t>(PutDec(buf, value) - buf)));
}

ConsoleLog& ConsoleLog::Unsigned(uint32_t value) {
  if (!m_Listened.load(std::memory_order_relaxed)) return *this;
  char buf[16];
  return Text(std::string_view(buf, static_cast<size_t>(PutDec(buf, value) - buf)));
}

// The same digits as "%u": the value never exceeds 32 bits.
ConsoleLog& ConsoleLog::ULong(uint32_t value) { return Unsigned(value); }

ConsoleLog& ConsoleLog::Hex(uint32_t value) {
  if (!m_Listened.load(std::memory_order_relaxed)) return *this;
  char buf[16];
  return Text(std::string_view(buf, static_cast<size_t>(PutHex(buf, value) - buf)));
}

ConsoleLog& ConsoleLog::Float(double value) {
  if (!m_Listened.load(std::memory_order_relaxed)) return *this;
  std::array<char, 512> buf;
  return Text(Formatted(buf, "%f", value));
}

ConsoleLog& ConsoleLog::SetColor(int color) {
  Pending().color = color;
  return *this;
}

void ConsoleLog::Flush() { Emit(true); }

void ConsoleLog::SetThreadPrefix(std::string prefix) { Pending().prefix = std::move(prefix); }

void ConsoleLog::Emit(bool /*flushing*/) {
  PendingLine& line = Pending();
  if (line.text.empty()) return;
  line.spans.clear();
  if (!line.prefix.empty()) line.spans.push_back({kColorNormal, line.prefix});
  for (size_t i = 0; i < line.colorStarts.size(); ++i) {
    size_t begin = line.colorStarts[i].first;
    size_t end = i + 1 < line.colorStarts.size() ? line.colorStarts[i + 1].first : line.text.size();
    line.spans.push_back({line.colorStarts[i].second, std::string_view(line.text).substr(begin, end - begin)});
  }
  Deliver(line.spans);
  line.text.clear();
  line.colorStarts.clear();
}

void ConsoleLog::AddSink(std::shared_ptr<LogSink> sink) {
  std::lock_guard lock(m_Mutex);
  m_Sinks.push_back(std::move(sink));
  m_Listened = true;
}

void ConsoleLog::RemoveSink(const std::shared_ptr<LogSink>& sink) {
  std::lock_guard lock(m_Mutex);
  std::erase(m_Sinks, sink);
  m_Listened = !m_Sinks.empty();
}

void ConsoleLog::RemoveAllSinks() {
  std::lock_guard lock(m_Mutex);
  m_Sinks.clear();
  m_Listened = false;
}

// Sinks ------------------------------------------------------------------

bool TerminalWantsColor(std::FILE* stream) {
  const char* noColor = std::getenv("NO_COLOR");
  if (noColor != nullptr && noColor[0] != '\0') return false;
  return StreamIsTerminal(stream);
}

TerminalSink::TerminalSink(bool color) : m_Color(color) {}

FileSink::FileSink(const std::string& path) : m_File(OpenRegularFile(path, "ab")) {
  if (m_File == nullptr) m_Open = errno;
}

FileSink::~FileSink() {
  if (m_File != nullptr) std::fclose(m_File);
}

void FileSink::WriteLine(std::span<const LogSpan> spans) {
  if (m_File == nullptr) return;
  bool written = true;
  errno = 0;
  for (const LogSpan& span : spans)
    written = std::fwrite(span.text.data(), 1, span.text.size(), m_File) == span.text.size() && written;
  written = std::fflush(m_File) == 0 && written;
  if (!written && m_Error == 0) m_Error = errno != 0 ? errno : EIO;
}

std::string FileSink::Failure() const {
  const int code = m_File == nullptr ? m_Open : m_Error;
  return code == 0 ? std::string() : std::error_code(code, std::generic_category()).message();
}

}  // namespace tolvane
