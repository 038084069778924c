#include "log/file_open.h"

namespace tolvane {

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) { return std::fopen(utf8Path.c_str(), mode); }

// The system takes the bytes as they are.
std::filesystem::path PathOf(std::string_view utf8Path) { return std::filesystem::path(std::string(utf8Path)); }

}  // namespace tolvane
