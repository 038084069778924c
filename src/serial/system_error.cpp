#include "serial/system_error.h"

namespace tolvane {

std::string FormatSystemError(uint32_t code) {
  switch (code) {
    case kNotSerialDevice: return "Это не последовательный порт";
    case kOwnTerminal: return "Это терминал самой программы, а не порт устройства";
    case kWriteStalled: return "Порт не принимает данные";
    default: return PlatformErrorText(code);
  }
}

std::string OneLine(std::string_view text) {
  std::string line;
  while (!text.empty()) {
    const size_t end = text.find_first_of("\r\n");
    std::string_view part = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    while (!part.empty() && (part.back() == ' ' || part.back() == '\t')) part.remove_suffix(1);
    if (part.empty()) continue;
    if (!line.empty()) line += ": ";
    line += part;
  }
  return line;
}

}  // namespace tolvane
