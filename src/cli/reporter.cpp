#include "reporter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include <nlohmann/json.hpp>

#include "log/terminal.h"

namespace tolvane::cli {
namespace {

// What the streams are, found out once.
struct Streams {
  bool StdoutColors = false;
  bool StderrColors = false;
  bool StderrTerminal = false;
  bool StderrControls = false;  // takes ANSI control sequences
};

const Streams& TheStreams() {
  static const Streams streams = [] {
    Streams s;
    const char* noColor = std::getenv("NO_COLOR");
    const bool colorsAllowed = noColor == nullptr || noColor[0] == '\0';
    s.StderrTerminal = StreamIsTerminal(stderr);
    s.StderrControls = s.StderrTerminal && EnableTerminalControls(stderr);
    s.StderrColors = colorsAllowed && s.StderrControls;
    s.StdoutColors = colorsAllowed && StreamIsTerminal(stdout);
    return s;
  }();
  return streams;
}

std::mutex g_Mutex;
int g_OutputError = 0;  // errno of the first failed write to stdout
std::atomic<bool> g_Json{false};
bool g_DocumentWritten = false;  // under g_Mutex
std::string g_FirstError;        // under g_Mutex

// Where results go: stdout, unless it carries the JSON document.
std::FILE* ResultStream() { return g_Json ? stderr : stdout; }

void Put(std::FILE* stream, std::string_view text) {
  if (text.empty()) return;
  std::lock_guard lock(g_Mutex);
  if (!WriteText(stream, text) && stream == stdout && g_OutputError == 0) g_OutputError = errno != 0 ? errno : EIO;
}

std::string Formatted(const char* format, va_list arguments) {
  va_list copy;
  va_copy(copy, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, arguments);
  text.pop_back();
  return text;
}

constexpr auto kRedrawPeriod = std::chrono::milliseconds(100);
constexpr int32_t kBarWidth = 30;

}  // namespace

void WriteResult(std::string_view text) { Put(ResultStream(), text); }

void SetJsonOutput(bool on) { g_Json = on; }

void WriteJson(const nlohmann::ordered_json& document) {
  {
    std::lock_guard lock(g_Mutex);
    g_DocumentWritten = true;
  }
  // Text that is not UTF-8 (a file name) comes out with replacement
  // characters rather than stopping the document.
  Put(stdout, document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
}

void NoteError(std::string_view text) {
  std::string line;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') c = ' ';
    line += c;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  std::lock_guard lock(g_Mutex);
  if (g_FirstError.empty()) g_FirstError = std::move(line);
}

void WriteJsonFailure(int exitCode) {
  std::string error;
  {
    std::lock_guard lock(g_Mutex);
    if (g_DocumentWritten) return;
    error = g_FirstError;
  }
  nlohmann::ordered_json document;
  document["error"] = error;
  document["exit_code"] = exitCode;
  WriteJson(document);
}

void PrintResult(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const std::string text = Formatted(format, arguments);
  va_end(arguments);
  Put(ResultStream(), text);
}

void PrintResultLines(const std::string& prefix, const std::string& text) {
  std::string out;
  std::string line;
  auto flush = [&] {
    out += prefix + line + "\n";
    line.clear();
  };
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') {
      flush();
      continue;
    }
    line += c;
  }
  if (!line.empty()) flush();
  Put(ResultStream(), out);
}

void WriteMessage(MessageLevel level, std::string_view text) {
  if (level == MessageLevel::Error) NoteError(text);
  if (level == MessageLevel::Info || !TheStreams().StderrColors) {
    Put(stderr, text);
    return;
  }
  // Marked up to the line end, which stays outside the colour.
  std::string_view body = text;
  const bool ends = !body.empty() && body.back() == '\n';
  if (ends) body.remove_suffix(1);
  Put(stderr, std::string(level == MessageLevel::Error ? "\033[91m" : "\033[93m") + std::string(body) + "\033[0m" +
                  (ends ? "\n" : ""));
}

void PrintMessage(MessageLevel level, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const std::string text = Formatted(format, arguments);
  va_end(arguments);
  WriteMessage(level, text);
}

bool ResultColors() { return g_Json ? TheStreams().StderrColors : TheStreams().StdoutColors; }

bool ProgressShown() { return TheStreams().StderrTerminal; }

bool StatusBoardShown() { return TheStreams().StderrControls; }

int StatusColumns() { return TerminalColumns(stderr); }

void WriteStatus(std::string_view text) { Put(stderr, text); }

std::string OutputFailure() {
  std::lock_guard lock(g_Mutex);
  return g_OutputError == 0 ? std::string() : std::error_code(g_OutputError, std::generic_category()).message();
}

ProgressBoard::ProgressBoard(bool enabled, size_t ports, bool blocks)
    : m_Enabled(enabled), m_Blocks(blocks), m_Waits(ports, 0.0), m_Slots(ports) {}

std::string ProgressBoard::Line(const RunProgress& sum, double seconds, size_t ports) {
  const double share = sum.Total > 0 ? static_cast<double>(sum.Done) / sum.Total : 0.0;
  const auto filled = static_cast<int32_t>(share * kBarWidth);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kBarWidth - filled), '.');
  char text[160];
  const double rate = seconds > 0 ? static_cast<double>(sum.WireBytes) / seconds : 0.0;
  int n = std::snprintf(text, sizeof text, "[%s] %d/%d blocks  %.0f B/s", bar.c_str(), sum.Done, sum.Total, rate);
  if (const std::optional<double> left = SecondsLeft(sum, seconds); left && n > 0) {
    const auto whole = static_cast<int64_t>(*left + 0.5);
    std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "  %lld:%02lld left",
                  static_cast<long long>(whole / 60), static_cast<long long>(whole % 60));
  }
  std::string line = text;
  if (ports > 1) line += "  (" + std::to_string(ports) + " ports)";
  return line;
}

// Back to the start of the line, the text, and the rest of the old text
// erased: by the terminal where it takes control sequences, else by blanks.
void ProgressBoard::Draw(const std::string& text) {
  std::string line = "\r" + text;
  if (TheStreams().StderrControls) {
    line += "\x1b[K";
  } else if (text.size() < m_DrawnWidth) {
    line.append(m_DrawnWidth - text.size(), ' ');
    line += "\r" + text;
  }
  m_DrawnWidth = text.size();
  Put(stderr, line);
}

void ProgressBoard::Update(size_t slot, const RunProgress& progress) {
  if (!m_Enabled || !m_Blocks) return;
  std::lock_guard lock(m_Mutex);
  m_Slots[slot] = progress;
  const Clock::time_point now = Clock::now();
  if (now - m_LastDraw < kRedrawPeriod && progress.Done != progress.Total) return;
  Redraw(now);
}

bool ProgressBoard::Waiting(size_t slot, double secondsLeft) {
  if (!m_Enabled) return false;
  std::lock_guard lock(m_Mutex);
  m_Waits[slot] = secondsLeft;
  Redraw(Clock::now());
  return true;
}

void ProgressBoard::Redraw(Clock::time_point now) {
  m_LastDraw = now;
  double waiting = 0;
  for (double left : m_Waits) waiting = std::max(waiting, left);
  if (waiting > 0) m_WasWaiting = true;
  if (waiting <= 0 && m_WasWaiting) {
    m_WasWaiting = false;
    m_Start = now;  // the rate counts from the device's answer
  }
  if (waiting > 0) {
    // One line says what to do, and how long is left.
    char text[160];
    std::snprintf(text, sizeof text, "Switch the device on or restart it (capture bursts are on): %.0f s left",
                  waiting);
    Draw(text);
    m_Drawn = true;
    return;
  }
  if (!m_Blocks) {
    Draw("");
    return;
  }
  RunProgress sum;
  for (const RunProgress& s : m_Slots) {
    sum.Done += s.Done;
    sum.Total += s.Total;
    sum.WireBytes += s.WireBytes;
    sum.WireTotal += s.WireTotal;
  }
  const double seconds = std::chrono::duration<double>(now - m_Start).count();
  Draw(Line(sum, seconds, m_Slots.size()));
  m_Drawn = true;
}

void ProgressBoard::Finish() {
  std::lock_guard lock(m_Mutex);
  if (!m_Drawn) return;
  Draw("");
  Put(stderr, "\r");
  m_Drawn = false;
}

}  // namespace tolvane::cli
