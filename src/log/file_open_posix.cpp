#include "log/file_open.h"

namespace tolvane {

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) { return std::fopen(utf8Path.c_str(), mode); }

}  // namespace tolvane
