// The HEX file a verify or a write works from, loaded once for every port.
#pragma once

#include <string>
#include <vector>

#include "image/firmware_image.h"
#include "image/hex_reader.h"
#include "protocol/procedures.h"

namespace tolvane::cli {

struct FirmwareFile {
  FirmwareImage Image;
  HexLoadResult Load;
};

// Loads path; false (with a message on stderr) when it cannot be read.
bool LoadFirmwareFile(const std::string& command, const std::string& path, FirmwareFile& file);

// Lines that tell where a verify found differences: for each area its count
// and its first differing address.
std::vector<std::string> DifferenceLines(const CompareCounts& counts);

}  // namespace tolvane::cli
