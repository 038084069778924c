#include "log/file_open.h"

#include <cwchar>

namespace tolvane {

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) {
  std::wstring wideMode;
  for (const char* c = mode; *c != '\0'; ++c) wideMode.push_back(static_cast<wchar_t>(*c));
  return _wfopen(PathOf(utf8Path).c_str(), wideMode.c_str());
}

}  // namespace tolvane
