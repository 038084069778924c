#include <unistd.h>

#include "session/device_record.h"

namespace tolvane {

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

}  // namespace tolvane
