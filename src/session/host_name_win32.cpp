#include <windows.h>

#include "log/utf16.h"
#include "session/device_record.h"

namespace tolvane {

std::string HostName() {
  wchar_t name[256] = {};
  DWORD size = 255;
  if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return {};
  return Utf8FromUtf16(std::wstring_view(name, size));
}

}  // namespace tolvane
