#include "log/file_open.h"
#include "log/utf16.h"

#include <cstdio>

namespace tolvane {

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) {
  return _wfopen(Utf16FromUtf8(utf8Path).c_str(), Utf16FromUtf8(mode).c_str());
}

std::filesystem::path PathOf(std::string_view utf8Path) { return std::filesystem::path(Utf16FromUtf8(utf8Path)); }

}  // namespace tolvane
