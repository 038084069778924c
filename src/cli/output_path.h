// The one rule for the files tolvane-cli writes (load -o, read -o, sim
// --save, --log, --report, the --backup folder): a regular file or a new
// name, never one of the command's own files; an image's name says its
// format.
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

// Checks a file to be written before any work is done: a regular file or a
// name not taken yet (a pipe or a device could block the command or take
// its text without end), and none of the command's own files (through links
// too). Empty when it may be written, else the reason (a usage error).
std::string CheckWrittenFile(const std::string& path, const std::vector<std::string>& ownFiles);

// A folder files are saved into (--backup): a folder or a name not taken
// yet. Empty, or the reason.
std::string CheckWrittenFolder(const std::string& path);

// Checks an image output as CheckWrittenFile does, and the format its name
// asks for (into format).
std::string CheckOutput(const std::string& output, const std::vector<std::string>& inputs, ImageFormat& format);

// Writes the image in the format, whole or not at all (the old file then
// stays as it was).
bool WriteImage(const std::string& path, ImageFormat format, const FirmwareImage& image, std::string& error,
                const RegionExtents& extents = kWholeRegions);

}  // namespace tolvane::cli
