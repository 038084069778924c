#include "console_output.h"

#include <cerrno>
#include <cstdarg>
#include <mutex>
#include <system_error>

#include "log/terminal.h"

namespace tolvane::cli {
namespace {

std::mutex g_Mutex;
int g_OutputError = 0;  // errno of the first failed write to stdout

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

}  // namespace

void Write(std::FILE* stream, std::string_view text) {
  if (text.empty()) return;
  std::lock_guard lock(g_Mutex);
  if (!WriteText(stream, text) && stream == stdout && g_OutputError == 0) g_OutputError = errno != 0 ? errno : EIO;
}

void Print(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const std::string text = Formatted(format, arguments);
  va_end(arguments);
  Write(stdout, text);
}

void PrintError(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const std::string text = Formatted(format, arguments);
  va_end(arguments);
  Write(stderr, text);
}

std::string OutputFailure() {
  std::lock_guard lock(g_Mutex);
  return g_OutputError == 0 ? std::string() : std::error_code(g_OutputError, std::generic_category()).message();
}

}  // namespace tolvane::cli
