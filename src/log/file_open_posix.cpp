#include "log/file_open.h"
#include "log/file_replace.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace tolvane {

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) { return std::fopen(utf8Path.c_str(), mode); }

// The system takes the bytes as they are.
std::filesystem::path PathOf(std::string_view utf8Path) { return std::filesystem::path(std::string(utf8Path)); }

bool SyncFile(std::FILE* file) { return std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0; }

int64_t FileLength(std::FILE* file) {
  struct stat status {};
  return ::fstat(::fileno(file), &status) == 0 ? static_cast<int64_t>(status.st_size) : -1;
}

bool CutFile(std::FILE* file, int64_t length) { return ::ftruncate(::fileno(file), static_cast<off_t>(length)) == 0; }

bool RenameOver(const std::string& from, const std::string& to, int& error) {
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  error = errno;
  return false;
}

}  // namespace tolvane
