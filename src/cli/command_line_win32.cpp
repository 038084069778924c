#include "command_line.h"
#include "log/utf16.h"

#include <windows.h>

#include <shellapi.h>

namespace tolvane::cli {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8FromUtf16(wide[i]));
  LocalFree(wide);
  return arguments;
}

}  // namespace tolvane::cli
