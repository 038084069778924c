#include <emscripten.h>

#include "session/device_record.h"

namespace tolvane {
namespace {

// clang-format off
// A page knows no computer's name: its records say where it was served from
// ("file" when opened from the disk).
EM_JS(int, tolvane_page_host, (char* buffer, int size), {
  const host = (typeof location !== 'undefined' && location.host) ? location.host : 'file';
  stringToUTF8('browser@' + host, buffer, size);
  return 1;
});
// clang-format on

}  // namespace

std::string HostName() {
  char name[256] = {};
  tolvane_page_host(name, sizeof name);
  return name;
}

}  // namespace tolvane
