// The one rule for the files tolvane-cli writes an image to (load -o, read
// -o, sim --save): the name says the format, and an output is never one of
// the command's inputs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "image/firmware_image.h"
#include "image/hex_writer.h"

namespace tolvane::cli {

enum class ImageFormat { Hex, Raw };

// .hex: Intel HEX; .bin: the raw 66048-byte image; in any letter case.
// Nothing for any other name.
std::optional<ImageFormat> ImageFormatOf(const std::string& path);

// Checks an output before any work is done: the format its name asks for
// (into format), and that it is none of the inputs (through links too).
// Empty when it may be written, else the reason (a usage error).
std::string CheckOutput(const std::string& output, const std::vector<std::string>& inputs, ImageFormat& format);

// Writes the image in the format, whole or not at all (the old file then
// stays as it was).
bool WriteImage(const std::string& path, ImageFormat format, const FirmwareImage& image, std::string& error,
                const RegionExtents& extents = kWholeRegions);

}  // namespace tolvane::cli
