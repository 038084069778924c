#include "console_output.h"
#include "device_file.h"

#include <cstdio>

namespace tolvane::cli {

bool LoadFirmwareFile(const std::string& command, const std::string& path, FirmwareFile& file) {
  file.Load = LoadHexFile(path, file.Image);
  if (file.Load.FileRead) return true;
  PrintError("%s: cannot read %s: %s\n", command.c_str(), path.c_str(), file.Load.OpenError.c_str());
  return false;
}

namespace {

std::string AreaLine(const char* area, int32_t count, int32_t firstAddress) {
  char text[160];
  std::snprintf(text, sizeof text, "%s: %d %s, the first at 0x%04X", area, count,
                count == 1 ? "byte differs" : "bytes differ", static_cast<unsigned>(firstAddress));
  return text;
}

}  // namespace

std::vector<std::string> DifferenceLines(const CompareCounts& c) {
  std::vector<std::string> lines;
  if (c.UserMismatches > 0) lines.push_back(AreaLine("user area", c.UserMismatches, c.FirstUserMismatch));
  if (c.ConfigurationMismatches > 0) {
    lines.push_back(AreaLine("configuration / identifiers", c.ConfigurationMismatches,
                             AddressOfOffset(c.FirstConfigurationMismatch).value_or(0)));
  }
  if (c.MonitorMismatches > 0)
    lines.push_back(AreaLine("monitor area (not written)", c.MonitorMismatches, c.FirstMonitorMismatch));
  if (!c.ConfigurationCompared) lines.push_back("configuration / identifiers: not compared (the file sets none)");
  return lines;
}

}  // namespace tolvane::cli
