#include "serial/system_error.h"
#include "serial/serial_port.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <type_traits>

namespace tolvane {

const uint32_t kSystemBusy = EBUSY;
const uint32_t kSystemDeviceGone = EIO;

std::string PlatformErrorText(uint32_t code) {
  if (code == 0 || code > 0x7FFFFFFFu) return "?";
  char buffer[4096] = "?";
  // The GNU strerror_r returns its text (maybe a static one); the POSIX one
  // fills the buffer. Both forms are handled by looking at the result type.
  auto result = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
  const char* text = nullptr;
  if constexpr (std::is_same_v<decltype(result), int>)
    text = result == 0 ? buffer : nullptr;
  else
    text = result;
  // glibc names unknown codes "Unknown error N": that is no text of its own.
  if (text == nullptr || std::strncmp(text, "Unknown error", 13) == 0) return "?";
  return text;
}

PortError KindOfError(uint32_t code) {
  switch (code) {
    case 0: return PortError::None;
    case kNotSerialDevice:
    case kOwnTerminal:
    case ENOTTY: return PortError::NotSerialPort;
    case kWriteStalled: return PortError::TimedOut;
    case ENOENT:
    case ENXIO: return PortError::NotFound;
    case EBUSY: return PortError::Busy;
    case EACCES:
    case EPERM: return PortError::NoPermission;
    case EIO:
    case ENODEV:
    case EBADF:
    case EPIPE: return PortError::Lost;
    default: return PortError::Other;
  }
}

std::string OpenFailureAdvice(const std::string& name, uint32_t code) {
  if (code != static_cast<uint32_t>(EACCES) && code != static_cast<uint32_t>(EPERM)) return {};
  // Serial ports belong to a group (dialout on Debian) whose members may
  // open them; membership takes effect at the next login.
  struct stat st {};
  std::string group = "dialout";
  if (::stat(name.c_str(), &st) == 0) {
    // A port its group may not use either: joining the group would not help.
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return {};
    if (const struct group* g = ::getgrgid(st.st_gid); g != nullptr && g->gr_name != nullptr) group = g->gr_name;
  }
  return "Порт принадлежит группе " + group + ". Добавьте себя в неё: sudo usermod -aG " + group +
         " $USER, затем войдите в систему заново.";
}

}  // namespace tolvane
