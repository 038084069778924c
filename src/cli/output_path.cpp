#include "output_path.h"

#include <algorithm>
#include <cctype>

#include "log/file_open.h"

namespace tolvane::cli {

std::optional<ImageFormat> ImageFormatOf(const std::string& path) {
  const size_t dot = path.find_last_of("./\\");
  if (dot == std::string::npos || path[dot] != '.') return std::nullopt;
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == "hex") return ImageFormat::Hex;
  if (extension == "bin") return ImageFormat::Raw;
  return std::nullopt;
}

std::string CheckWrittenFile(const std::string& path, const std::vector<std::string>& ownFiles) {
  for (const std::string& own : ownFiles) {
    if (own.empty() || !SameFile(path, own)) continue;
    return own == path ? path + " is the command's own file" : path + " is the command's own file " + own;
  }
  if (const std::string reason = NotAFileReason(path); !reason.empty()) return path + " " + reason;
  return {};
}

std::string CheckWrittenFolder(const std::string& path) {
  const NameKind kind = KindOfName(path);
  if (kind == NameKind::Folder || kind == NameKind::Missing) return {};
  return path + " is no folder";
}

std::string CheckOutput(const std::string& output, const std::vector<std::string>& inputs, ImageFormat& format) {
  const std::optional<ImageFormat> asked = ImageFormatOf(output);
  if (!asked) return output + ": the output's name must end in .hex (Intel HEX) or .bin (the raw image)";
  format = *asked;
  if (const std::string refusal = CheckWrittenFile(output, inputs); !refusal.empty())
    return refusal + "; name another output";
  return {};
}

bool WriteImage(const std::string& path, ImageFormat format, const FirmwareImage& image, std::string& error,
                const RegionExtents& extents) {
  return format == ImageFormat::Hex ? WriteHexFile(path, image, &error, extents) : WriteRawImage(path, image, &error);
}

}  // namespace tolvane::cli
