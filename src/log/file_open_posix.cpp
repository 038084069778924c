#include "log/file_open.h"
#include "log/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace tolvane {

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) { return std::fopen(utf8Path.c_str(), mode); }

std::FILE* OpenRegularFile(const std::string& utf8Path, const char* mode) {
  const std::string how(mode);
  const bool update = how.find('+') != std::string::npos;
  int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;  // a pipe or a device must not hold the open
  if (how[0] == 'r') flags |= update ? O_RDWR : O_RDONLY;
  if (how[0] == 'a') flags |= (update ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
  if (how[0] == 'w') flags |= (update ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
  const int fd = ::open(utf8Path.c_str(), flags, 0666);
  if (fd < 0) return nullptr;
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, mode);
  if (file == nullptr) ::close(fd);
  return file;
}

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
