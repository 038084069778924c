#include "log/file_open.h"
#include "log/file_replace.h"
#include "log/utf16.h"

#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>

namespace tolvane {

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) {
  return _wfopen(Utf16FromUtf8(utf8Path).c_str(), Utf16FromUtf8(mode).c_str());
}

// Opening a named pipe or a device does not wait on Windows; what is no
// file on a disk is closed again.
std::FILE* OpenRegularFile(const std::string& utf8Path, const char* mode) {
  std::FILE* file = OpenFile(utf8Path, mode);
  if (file == nullptr) return nullptr;
  if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != FILE_TYPE_DISK) {
    std::fclose(file);
    errno = EINVAL;
    return nullptr;
  }
  return file;
}

std::filesystem::path PathOf(std::string_view utf8Path) { return std::filesystem::path(Utf16FromUtf8(utf8Path)); }

bool SyncFile(std::FILE* file) { return std::fflush(file) == 0 && _commit(_fileno(file)) == 0; }

int64_t FileLength(std::FILE* file) { return _filelengthi64(_fileno(file)); }

bool CutFile(std::FILE* file, int64_t length) { return _chsize_s(_fileno(file), length) == 0; }

bool RenameOver(const std::string& from, const std::string& to, int& error) {
  if (MoveFileExW(Utf16FromUtf8(from).c_str(), Utf16FromUtf8(to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
    return true;
  error = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return false;
}

}  // namespace tolvane
