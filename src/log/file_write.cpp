#include "log/file_open.h"
#include "log/file_replace.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <system_error>

namespace tolvane {
namespace {

std::string ErrnoText(int code) { return std::error_code(code, std::generic_category()).message(); }

// Writes content to an open stream and closes it; the errno of the first failure.
int WriteAndClose(std::FILE* file, std::string_view content, bool sync) {
  int error = 0;
  if (std::fwrite(content.data(), 1, content.size(), file) != content.size()) error = errno != 0 ? errno : EIO;
  if (error == 0 && sync && !SyncFile(file)) error = errno != 0 ? errno : EIO;
  if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  return error;
}

std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// A name beside the target that no other writer picks (this process counts,
// the clock tells processes apart).
std::string TemporaryNameBeside(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  return target + ".tmp-" + std::to_string(stamp) + "-" + std::to_string(counter++);
}

}  // namespace

bool WriteWholeFile(const std::string& utf8Path, std::string_view content, std::string* error) {
  auto fail = [&](int code) {
    if (error != nullptr) *error = ErrnoText(code);
    return false;
  };
  std::error_code ec;
  std::filesystem::path target = PathOf(utf8Path);
  // A link is followed: the file it names is replaced, the link stays.
  if (std::filesystem::is_symlink(std::filesystem::symlink_status(target, ec))) {
    const std::filesystem::path real = std::filesystem::weakly_canonical(target, ec);
    if (!ec) target = real;
  }
  const std::filesystem::file_status status = std::filesystem::status(target, ec);
  const std::string targetName = Utf8Of(target);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    // A device or a pipe cannot be replaced: it takes the bytes as they come.
    std::FILE* file = OpenFile(targetName, "wb");
    if (file == nullptr) return fail(errno);
    const int code = WriteAndClose(file, content, false);
    return code == 0 || fail(code);
  }
  const std::string temporary = TemporaryNameBeside(targetName);
  std::FILE* file = OpenFile(temporary, "wb");
  if (file == nullptr) return fail(errno);
  int code = WriteAndClose(file, content, true);
  if (code == 0) RenameOver(temporary, targetName, code);  // code: the rename's reason
  if (code != 0) {
    std::filesystem::remove(PathOf(temporary), ec);
    return fail(code);
  }
  return true;
}

NameKind KindOfName(const std::string& utf8Path) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(PathOf(utf8Path), ec);
  if (!std::filesystem::exists(status)) return NameKind::Missing;
  if (std::filesystem::is_regular_file(status)) return NameKind::File;
  if (std::filesystem::is_directory(status)) return NameKind::Folder;
  return NameKind::Other;
}

std::string NotAFileReason(const std::string& utf8Path) {
  switch (KindOfName(utf8Path)) {
    case NameKind::Folder: return "is a folder";
    case NameKind::Other: return "is no regular file (a device, a pipe or a socket)";
    default: return {};
  }
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (std::filesystem::equivalent(PathOf(a), PathOf(b), ec) && !ec) return true;
  // A file that does not exist yet is the same as another name for it.
  std::error_code ecA, ecB;
  const std::filesystem::path canonicalA = std::filesystem::weakly_canonical(PathOf(a), ecA);
  const std::filesystem::path canonicalB = std::filesystem::weakly_canonical(PathOf(b), ecB);
  return !ecA && !ecB && canonicalA == canonicalB;
}

}  // namespace tolvane
