// Files named by UTF-8 paths, as every path inside the program is. Windows
// takes its 8-bit file names in the ANSI code page, so there the name goes to
// the system as UTF-16 and a folder with Cyrillic letters opens as well.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace tolvane {

// std::fopen for a UTF-8 path.
std::FILE* OpenFile(const std::string& utf8Path, const char* mode);

// The path of a UTF-8 name, for std::filesystem. Never throws.
std::filesystem::path PathOf(std::string_view utf8Path);

}  // namespace tolvane
