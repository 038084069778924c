// Writes an image back out: as Intel HEX that the reader loads into the same
// image, or as the raw bytes of the image's own layout.
#pragma once

#include "image/firmware_image.h"

#include <string>

namespace tolvane {

// Data records of up to 16 bytes for the flash bytes that are not 0xFF, then
// for each region that holds anything but 0xFF an extended linear address
// record and the region's bytes, then the end-of-file record.
std::string FormatHexFile(const FirmwareImage& image);

bool WriteHexFile(const std::string& path, const FirmwareImage& image, std::string* error = nullptr);

// All kImageSize bytes, flash first, then the eight region slots.
bool WriteRawImage(const std::string& path, const FirmwareImage& image, std::string* error = nullptr);

}  // namespace tolvane
