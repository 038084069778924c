// Writes an image back out: as Intel HEX that the reader loads into the same
// image, or as the raw bytes of the image's own layout.
#pragma once

#include "image/firmware_image.h"

#include <array>
#include <cstdint>
#include <string>

namespace tolvane {

// How many leading bytes of each region slot an image really holds: all of
// each region for a file's image; for a device's, what its reads fetched.
using RegionExtents = std::array<int32_t, kRegionCount>;
inline constexpr RegionExtents kWholeRegions = [] {
  RegionExtents extents{};
  for (size_t k = 0; k < extents.size(); ++k) extents[k] = MemoryRegions[k].Size;
  return extents;
}();

// Data records of up to 16 bytes for the flash bytes that are not 0xFF, then
// for each region that holds anything but 0xFF an extended linear address
// record and the region's bytes (as far as extents say), then the
// end-of-file record.
std::string FormatHexFile(const FirmwareImage& image, const RegionExtents& extents = kWholeRegions);

// Both write the whole file or leave the old one as it was (WriteWholeFile).
bool WriteHexFile(const std::string& path, const FirmwareImage& image, std::string* error = nullptr,
                  const RegionExtents& extents = kWholeRegions);

// All kImageSize bytes, flash first, then the eight region slots.
bool WriteRawImage(const std::string& path, const FirmwareImage& image, std::string* error = nullptr);

}  // namespace tolvane
