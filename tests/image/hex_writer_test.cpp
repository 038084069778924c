#include "image/hex_writer.h"

#include "image/hex_reader.h"
#include "log_capture.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace tolvane {
namespace {

class HexWriterTest : public test::LogCaptureTest {};

TEST_F(HexWriterTest, BlankImageIsJustTheEndRecord) { EXPECT_EQ(FormatHexFile(FirmwareImage()), ":00000001FF\n"); }

TEST_F(HexWriterTest, RecordsHoldTheRunsOfEachRowAndEachUsedRegion) {
  FirmwareImage image;
  image[0x0402] = 0x12;
  image[0x0405] = 0x34;  // the 0xFF bytes between go along
  image[0xFFFF] = 0x00;
  image.Slot(1)[0] = 0x5A;
  EXPECT_EQ(FormatHexFile(image),
            ":0404020012FFFF34B2\n"
            ":01FFFF000001\n"
            ":020000040030CA\n"
            ":0A0000005AFFFFFFFFFFFFFFFFFFA5\n"
            ":00000001FF\n");
}

TEST_F(HexWriterTest, WhatItWritesLoadsBackIntoTheSameImage) {
  std::mt19937 random(20261208);
  for (int round = 0; round < 40; ++round) {
    FirmwareImage image;
    // Runs of data and gaps of varied length; some rounds fill everything.
    const int density = round % 4;
    for (int32_t at = 0; at < kFlashSize;) {
      const auto length = static_cast<int32_t>(random() % 300);
      const bool data = density == 3 || random() % 4 < static_cast<unsigned>(density);
      for (int32_t i = 0; i < length && at < kFlashSize; ++i, ++at)
        if (data) image[at] = static_cast<uint8_t>(random());
    }
    for (int32_t k = 0; k < kRegionCount; ++k)
      if (random() % 2 == 0)
        for (int32_t i = 0; i < MemoryRegions[static_cast<size_t>(k)].Size; ++i)
          image.Slot(k)[i] = static_cast<uint8_t>(random());

    FirmwareImage loaded;
    loaded[7] = 0x00;
    const HexLoadResult result = LoadHexText(FormatHexFile(image), loaded);
    ASSERT_EQ(loaded, image) << "round " << round;
    ASSERT_FALSE(result.Suspect());
    m_Sink->Clear();
  }
}

TEST_F(HexWriterTest, FilesAreWrittenOrTheReasonIsGiven) {
  FirmwareImage image;
  image[0] = 0x01;
  image.Slot(7)[63] = 0x02;
  const std::string raw = WriteScratch("image.bin", "");
  std::string error;
  ASSERT_TRUE(WriteRawImage(raw, image, &error)) << error;
  std::ifstream in(raw, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), 66048u);
  EXPECT_EQ(bytes.front(), '\x01');
  EXPECT_EQ(bytes.back(), '\x02');

  const std::string hex = WriteScratch("image.hex", "");
  ASSERT_TRUE(WriteHexFile(hex, image, &error)) << error;
  FirmwareImage loaded;
  EXPECT_TRUE(LoadHexFile(hex, loaded).FileRead);
  EXPECT_EQ(loaded[0], 0x01);

  const std::string nowhere = (std::filesystem::temp_directory_path() / "tolvane-no-such-dir" / "x.hex").string();
  EXPECT_FALSE(WriteHexFile(nowhere, image, &error));
  EXPECT_EQ(error, std::error_code(ENOENT, std::generic_category()).message());
  EXPECT_FALSE(WriteRawImage(nowhere, image));
}

// Names are UTF-8 inside the program; a folder with Cyrillic letters works
// on every system (Windows takes 8-bit names in another code page).
TEST_F(HexWriterTest, FoldersWithCyrillicNamesAreWrittenAndRead) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / std::filesystem::path(u8"tolvane-Прошивки-проверка");
  std::filesystem::create_directories(folder);
  const std::u8string name = (folder / u8"файл.hex").u8string();
  const std::string path(name.begin(), name.end());
  FirmwareImage image;
  image[0x400] = 0x5A;
  std::string error;
  ASSERT_TRUE(WriteHexFile(path, image, &error)) << error;
  FirmwareImage loaded;
  const HexLoadResult result = LoadHexFile(path, loaded);
  EXPECT_TRUE(result.FileRead) << result.OpenError;
  EXPECT_EQ(loaded[0x400], 0x5A);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tolvane
