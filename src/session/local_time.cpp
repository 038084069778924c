#include "session/local_time.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace tolvane {

std::tm LocalTime(std::chrono::system_clock::time_point when, long* utcOffset) {
  static std::mutex mutex;
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm local{}, utc{};
  {
    std::lock_guard lock(mutex);
    local = *std::localtime(&seconds);
    utc = *std::gmtime(&seconds);
  }
  if (utcOffset != nullptr) {
    // By the fields: %z is no offset on every system.
    const int days =
        local.tm_year != utc.tm_year ? (local.tm_year > utc.tm_year ? 1 : -1) : local.tm_yday - utc.tm_yday;
    *utcOffset = ((days * 24L + local.tm_hour - utc.tm_hour) * 60L + local.tm_min - utc.tm_min) * 60L;
  }
  return local;
}

std::string IsoLocalTime(std::chrono::system_clock::time_point when) {
  long offset = 0;
  const std::tm local = LocalTime(when, &offset);
  char text[64];
  const long minutes = std::labs(offset) / 60;
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+', minutes / 60,
                minutes % 60);
  return text;
}

}  // namespace tolvane
