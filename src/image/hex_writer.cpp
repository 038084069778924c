#include "image/hex_writer.h"

#include "log/file_open.h"
#include "log/number_text.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace tolvane {
namespace {

constexpr int32_t kBytesPerRecord = 16;

void AppendByte(std::string& out, uint8_t value, unsigned& sum) {
  char digits[8];
  out.append(digits, PutHex(digits, value, 2));
  sum += value;
}

void AppendRecord(std::string& out, uint8_t type, uint16_t offset, const uint8_t* data, int32_t count) {
  unsigned sum = 0;
  out.push_back(':');
  AppendByte(out, static_cast<uint8_t>(count), sum);
  AppendByte(out, static_cast<uint8_t>(offset >> 8), sum);
  AppendByte(out, static_cast<uint8_t>(offset & 0xFF), sum);
  AppendByte(out, type, sum);
  for (int32_t i = 0; i < count; ++i) AppendByte(out, data[i], sum);
  AppendByte(out, static_cast<uint8_t>(-sum & 0xFF), sum);
  out.push_back('\n');
}

bool AllFill(const uint8_t* bytes, int32_t count) {
  for (int32_t i = 0; i < count; ++i)
    if (bytes[i] != kFillByte) return false;
  return true;
}

}  // namespace

std::string FormatHexFile(const FirmwareImage& image, const RegionExtents& extents) {
  std::string out;
  // Records never cross a 16-byte boundary; within one they hold the run of
  // non-0xFF bytes (0xFF bytes between two such bytes go along).
  for (int32_t row = 0; row < kFlashSize; row += kBytesPerRecord) {
    int32_t first = row;
    int32_t last = row + kBytesPerRecord - 1;
    while (first <= last && image[first] == kFillByte) ++first;
    while (last >= first && image[last] == kFillByte) --last;
    if (first > last) continue;
    AppendRecord(out, 0x00, static_cast<uint16_t>(first), image.Data() + first, last - first + 1);
  }
  for (int32_t k = 0; k < kRegionCount; ++k) {
    const MemoryRegion& region = MemoryRegions[static_cast<size_t>(k)];
    const uint8_t* slot = image.Slot(k);
    const int32_t size = std::clamp(extents[static_cast<size_t>(k)], 0, region.Size);
    if (AllFill(slot, size)) continue;
    const auto start = static_cast<uint32_t>(region.Start);
    const uint8_t upper[2] = {static_cast<uint8_t>(start >> 24), static_cast<uint8_t>(start >> 16)};
    AppendRecord(out, 0x04, 0, upper, 2);
    for (int32_t i = 0; i < size; i += kBytesPerRecord) {
      const int32_t count = std::min(kBytesPerRecord, size - i);
      AppendRecord(out, 0x00, static_cast<uint16_t>((start + static_cast<uint32_t>(i)) & 0xFFFF), slot + i, count);
    }
  }
  AppendRecord(out, 0x01, 0, nullptr, 0);
  return out;
}

bool WriteHexFile(const std::string& path, const FirmwareImage& image, std::string* error,
                  const RegionExtents& extents) {
  return WriteWholeFile(path, FormatHexFile(image, extents), error);
}

bool WriteRawImage(const std::string& path, const FirmwareImage& image, std::string* error) {
  return WriteWholeFile(path, std::string_view(reinterpret_cast<const char*>(image.Data()), kImageSize), error);
}

}  // namespace tolvane
