// The device's memory map and one memory image of it: 64 KiB of program flash,
// then eight 64-byte slots for the regions at high device addresses.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>

namespace tolvane {

inline constexpr int32_t kFlashSize = 0x10000;
inline constexpr int32_t kRegionSlotSize = 64;
inline constexpr int32_t kImageSize = 0x10200;
inline constexpr int32_t kMonitorAreaSize = 0x400;  // end of MonitorArea, start of UserArea
inline constexpr int32_t kVerifiedRegionCount = 2;  // leading regions (user IDs, configuration) a verify compares
inline constexpr uint8_t kFillByte = 0xFF;          // what every unset byte holds

struct MemoryRegion {
  int32_t Start;
  int32_t Size;
  const char* Name;
};

// Row k is region slot k: the order is part of the image layout.
inline constexpr int32_t kRegionCount = 6;
inline constexpr int32_t kRegionUserIds = 0;
inline constexpr int32_t kRegionConfiguration = 1;
inline constexpr int32_t kRegionDeviceInformation = 2;
inline constexpr int32_t kRegionDeviceConfiguration = 3;
inline constexpr int32_t kRegionRevisionId = 4;
inline constexpr int32_t kRegionDeviceId = 5;
inline constexpr std::array<MemoryRegion, kRegionCount> MemoryRegions{{
    {0x200000, 16, "User IDs"},
    {0x300000, 10, "Configuration Words"},
    {0x3F0000, 64, "Device Information Area"},
    {0x3FFF00, 10, "Device Configuration Information"},
    {0x3FFFFC, 2, "Revision ID"},
    {0x3FFFFE, 2, "Device ID"},
}};

// The chip's unique identifier: the first bytes of the Device Information
// Area, in address order.
inline constexpr int32_t kUniqueIdSize = 18;

// The data EEPROM (1 KiB), where compilers put initial EEPROM data. The image
// has no place for it and the monitor does not write it: a file's EEPROM
// records are reported, not loaded.
inline constexpr int32_t kEepromStart = 0x310000;
inline constexpr int32_t kEepromSize = 0x400;
constexpr bool InEeprom(int64_t address) { return address >= kEepromStart && address < kEepromStart + kEepromSize; }

// Which bytes of the region slots an image's source set (bit i: image offset
// kFlashSize + i). A file's records set some; the rest only hold 0xFF.
using RegionCoverage = std::bitset<static_cast<size_t>(8 * kRegionSlotSize)>;

// The two areas of program flash that write and verify tell apart.
struct FlashArea {
  int32_t Begin;  // first offset
  int32_t End;    // one past the last offset
  constexpr bool Contains(int32_t offset) const { return offset >= Begin && offset < End; }
};
inline constexpr FlashArea MonitorArea{0, kMonitorAreaSize};
inline constexpr FlashArea UserArea{kMonitorAreaSize, kFlashSize};

// Image offset of region slot k.
constexpr int32_t RegionSlotOffset(int32_t k) { return kFlashSize + kRegionSlotSize * k; }

// The region row that holds a device address, if any.
std::optional<int32_t> RegionOf(int32_t address);

// Device address to image offset: flash addresses map to themselves, region
// addresses to their slot; anything else has no place in the image.
std::optional<int32_t> OffsetOfAddress(int32_t address);

// Image offset to device address, for display. Offsets in the reserved slots
// (6 and 7) or beyond a region's Size stand for no device byte.
std::optional<int32_t> AddressOfOffset(int32_t offset);

class FirmwareImage {
 public:
  FirmwareImage() { Clear(); }

  // Every byte, region and reserved slots included, becomes 0xFF.
  void Clear() { m_Bytes.fill(kFillByte); }

  uint8_t* Data() { return m_Bytes.data(); }
  const uint8_t* Data() const { return m_Bytes.data(); }
  uint8_t& operator[](int32_t offset) { return m_Bytes[static_cast<size_t>(offset)]; }
  uint8_t operator[](int32_t offset) const { return m_Bytes[static_cast<size_t>(offset)]; }

  uint8_t* Slot(int32_t k) { return Data() + RegionSlotOffset(k); }
  const uint8_t* Slot(int32_t k) const { return Data() + RegionSlotOffset(k); }

  bool operator==(const FirmwareImage&) const = default;

 private:
  std::array<uint8_t, kImageSize> m_Bytes;
};

static_assert(kImageSize == kFlashSize + 8 * kRegionSlotSize);

}  // namespace tolvane
