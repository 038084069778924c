#include "firmware_image.h"

namespace tolvane {

std::optional<int32_t> RegionOf(int32_t address) {
  for (int32_t k = 0; k < kRegionCount; ++k) {
    const MemoryRegion& region = MemoryRegions[static_cast<size_t>(k)];
    if (address >= region.Start && address - region.Start < region.Size) return k;
  }
  return std::nullopt;
}

std::optional<int32_t> OffsetOfAddress(int32_t address) {
  if (address >= 0 && address < kFlashSize) return address;
  if (auto k = RegionOf(address))
    return RegionSlotOffset(*k) + (address - MemoryRegions[static_cast<size_t>(*k)].Start);
  return std::nullopt;
}

std::optional<int32_t> AddressOfOffset(int32_t offset) {
  if (offset >= 0 && offset < kFlashSize) return offset;
  if (offset < kFlashSize || offset >= RegionSlotOffset(kRegionCount)) return std::nullopt;
  int32_t k = (offset - kFlashSize) / kRegionSlotSize;
  int32_t i = (offset - kFlashSize) % kRegionSlotSize;
  const MemoryRegion& region = MemoryRegions[static_cast<size_t>(k)];
  if (i >= region.Size) return std::nullopt;
  return region.Start + i;
}

}  // namespace tolvane
