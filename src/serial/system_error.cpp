#include "serial/system_error.h"

namespace tolvane {

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
