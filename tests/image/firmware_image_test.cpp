#include "image/firmware_image.h"

#include "image/hex_reader.h"
#include "log_capture.h"

namespace tolvane {
namespace {

TEST(FirmwareImageTest, AddressesMapToTheirOffsetsAtEveryEdge) {
  struct Case {
    int32_t address;
    std::optional<int32_t> offset;
  };
  for (const Case& c : {Case{0, 0},
                        Case{0xFFFF, 0xFFFF},
                        Case{0x10000, std::nullopt},
                        Case{-1, std::nullopt},
                        Case{0x1FFFFF, std::nullopt},
                        Case{0x200000, 0x10000},
                        Case{0x20000F, 0x1000F},
                        Case{0x200010, std::nullopt},
                        Case{0x300000, 0x10040},
                        Case{0x300009, 0x10049},
                        Case{0x30000A, std::nullopt},
                        Case{0x3F0000, 0x10080},
                        Case{0x3F003F, 0x100BF},
                        Case{0x3F0040, std::nullopt},
                        Case{0x3FFF00, 0x100C0},
                        Case{0x3FFF09, 0x100C9},
                        Case{0x3FFF0A, std::nullopt},
                        Case{0x3FFFFC, 0x10100},
                        Case{0x3FFFFD, 0x10101},
                        Case{0x3FFFFE, 0x10140},
                        Case{0x3FFFFF, 0x10141},
                        Case{0x400000, std::nullopt}}) {
    EXPECT_EQ(OffsetOfAddress(c.address), c.offset) << std::hex << c.address;
    if (c.offset) {
      EXPECT_EQ(AddressOfOffset(*c.offset), c.address) << std::hex << c.address;
    }
  }
}

TEST(FirmwareImageTest, OffsetsThatStandForNoDeviceByte) {
  for (int32_t offset : {-1, 0x10010, 0x1004A, 0x10102, 0x10142, 0x10180, 0x101FF, kImageSize})
    EXPECT_EQ(AddressOfOffset(offset), std::nullopt) << std::hex << offset;
}

TEST(FirmwareImageTest, LayoutAndAreasFitTogether) {
  int32_t end = kFlashSize;
  for (int32_t k = 0; k < kRegionCount; ++k) {
    const MemoryRegion& region = MemoryRegions[static_cast<size_t>(k)];
    EXPECT_LE(region.Size, kRegionSlotSize);
    EXPECT_EQ(RegionSlotOffset(k), end);
    end += kRegionSlotSize;
    if (k > 0) {
      const MemoryRegion& before = MemoryRegions[static_cast<size_t>(k - 1)];
      EXPECT_GE(region.Start, before.Start + before.Size);  // ascending, no overlap
    }
  }
  EXPECT_EQ(end + 2 * kRegionSlotSize, kImageSize);
  EXPECT_TRUE(MonitorArea.Contains(0x3FF));
  EXPECT_FALSE(MonitorArea.Contains(0x400));
  EXPECT_TRUE(UserArea.Contains(0x400));
  EXPECT_TRUE(UserArea.Contains(0xFFFF));
  EXPECT_FALSE(UserArea.Contains(0x10000));
}

class FirmwareImageLoadTest : public test::LogCaptureTest {};

TEST_F(FirmwareImageLoadTest, NewImagesAreBlankAndLoadsNeverTouchTheReservedSlots) {
  FirmwareImage image;
  for (int32_t i = 0; i < kImageSize; ++i) ASSERT_EQ(image[i], 0xFF) << i;

  // Records for every byte of every region and past each region's end.
  std::string text;
  for (const MemoryRegion& region : MemoryRegions) {
    const auto start = static_cast<uint32_t>(region.Start);
    char line[64];
    std::snprintf(line, sizeof line, ":02000004%04X00\n", start >> 16);
    text += line;
    for (int32_t i = 0; i < kRegionSlotSize + 16; i += 16) {
      std::snprintf(line, sizeof line, ":10%04X0000000000000000000000000000000000\n",
                    (start + static_cast<uint32_t>(i)) & 0xFFFF);
      text += line;
    }
  }
  LoadHexText(text, image);
  for (int32_t i = RegionSlotOffset(6); i < kImageSize; ++i) ASSERT_EQ(image[i], 0xFF) << i;
  for (int32_t k = 0; k < kRegionCount; ++k) {
    const int32_t size = MemoryRegions[static_cast<size_t>(k)].Size;
    for (int32_t i = 0; i < kRegionSlotSize; ++i) ASSERT_EQ(image.Slot(k)[i], i < size ? 0x00 : 0xFF) << k << " " << i;
  }
  for (int32_t i = 0; i < kFlashSize; ++i) ASSERT_EQ(image[i], 0xFF) << i;
}

}  // namespace
}  // namespace tolvane
