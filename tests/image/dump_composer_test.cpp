#include "image/dump_composer.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

std::string_view Row(const DumpComposer& dump, int32_t row) {
  return dump.FlashText().substr(static_cast<size_t>(row * kDumpRowWidth), static_cast<size_t>(kDumpRowWidth));
}

TEST(DumpComposerTest, BlankImagesGiveTheFullLayoutAndNoRuns) {
  FirmwareImage blank;
  DumpComposer dump;
  dump.Compose(blank, blank, blank);
  ASSERT_EQ(dump.FlashText().size(), 237568u);
  EXPECT_EQ(Row(dump, 0), "0000    ffff  ffff  ffff  ffff  ffff  ffff  ffff  ffff  \r\n");
  EXPECT_EQ(Row(dump, 4095).substr(0, 8), "FFF0    ");
  EXPECT_TRUE(dump.FlashRuns().empty());
  EXPECT_TRUE(dump.RegionRuns().empty());
  EXPECT_EQ(dump.Text().size(), dump.FlashText().size() + dump.RegionText().size());
  EXPECT_EQ(dump.Text().substr(0, 58), Row(dump, 0));
}

TEST(DumpComposerTest, WordsShowTheHighByteFirst) {
  FirmwareImage image;
  image[0x10] = 0x12;
  image[0x11] = 0xAB;
  image[0x1E] = 0x00;
  DumpComposer dump;
  dump.Compose(image, image, image);
  EXPECT_EQ(Row(dump, 1), "0010    ab12  ffff  ffff  ffff  ffff  ffff  ffff  ff00  \r\n");
}

TEST(DumpComposerTest, RegionPartLabelsEveryRegionWithItsBytes) {
  FirmwareImage image;
  image.Slot(1)[0] = 0x5A;
  image.Slot(5)[1] = 0x6C;
  DumpComposer dump;
  dump.Compose(image, image, image);
  std::string expected = "User IDs: \r\n200000    ";
  for (int i = 0; i < 16; ++i) expected += "ff  ";
  expected += "\r\nConfiguration Words: \r\n300000    5a  ";
  for (int i = 1; i < 10; ++i) expected += "ff  ";
  expected += "\r\nDevice Information Area: \r\n3F0000    ";
  for (int i = 0; i < 64; ++i) expected += "ff  ";
  expected += "\r\nDevice Configuration Information: \r\n3FFF00    ";
  for (int i = 0; i < 10; ++i) expected += "ff  ";
  expected += "\r\nRevision ID: \r\n3FFFFC    ff  ff  \r\nDevice ID: \r\n3FFFFE    ff  6c  \r\n";
  EXPECT_EQ(dump.RegionText(), expected);
}

TEST(DumpComposerTest, ShownImageGivesTheTextWhileFileAndDeviceGiveTheRuns) {
  FirmwareImage file, device, shown;
  file[0] = 0x01;
  shown[2] = 0x77;
  DumpComposer dump;
  dump.Compose(shown, file, device);
  EXPECT_EQ(Row(dump, 0).substr(8, 12), "ffff  ff77  ");
  ASSERT_EQ(dump.FlashRuns().size(), 1u);
  EXPECT_EQ(dump.FlashRuns()[0], (DumpRun{8, 14}));
}

TEST(DumpComposerTest, EitherByteOfAWordMarksTheWholeWord) {
  FirmwareImage file, device;
  file[0x20 + 1] = 0x00;  // row 2, word 0: high byte differs
  file[0x30 + 4] = 0x00;  // row 3, word 2: low byte differs
  DumpComposer dump;
  dump.Compose(file, file, device);
  ASSERT_EQ(dump.FlashRuns().size(), 2u);
  EXPECT_EQ(dump.FlashRuns()[0], (DumpRun{DumpWordPosition(2, 0), DumpWordPosition(2, 1)}));
  EXPECT_EQ(dump.FlashRuns()[1], (DumpRun{DumpWordPosition(3, 2), DumpWordPosition(3, 3)}));
}

TEST(DumpComposerTest, AdjacentWordsShareARunThatNeverCrossesALineEnd) {
  FirmwareImage file, device;
  for (int w : {2, 3, 4}) file[0x40 + 2 * w] = 0x00;  // row 4, words 2..4
  file[0x50 + 14] = 0x00;                             // row 5, word 7
  file[0x60] = 0x00;                                  // row 6, word 0
  DumpComposer dump;
  dump.Compose(file, file, device);
  ASSERT_EQ(dump.FlashRuns().size(), 3u);
  EXPECT_EQ(dump.FlashRuns()[0], (DumpRun{58 * 4 + 20, 58 * 4 + 38}));
  EXPECT_EQ(dump.FlashText().substr(58 * 4 + 20, 18), "ff00  ff00  ff00  ");
  // Word 7's run stops before "\r\n"; the next row's opens at its word 0.
  EXPECT_EQ(dump.FlashRuns()[1], (DumpRun{58 * 5 + 50, 58 * 5 + 56}));
  EXPECT_EQ(dump.FlashRuns()[2], (DumpRun{58 * 6 + 8, 58 * 6 + 14}));
}

TEST(DumpComposerTest, AlternatingMismatchesGiveFourRunsPerRowEverywhere) {
  FirmwareImage file, device;
  for (int32_t offset = 0; offset < kFlashSize; offset += 4) file[offset] = 0x00;
  DumpComposer dump;
  dump.Compose(file, file, device);
  ASSERT_EQ(dump.FlashRuns().size(), 16384u);
  EXPECT_EQ(dump.FlashRuns().back(), (DumpRun{DumpWordPosition(4095, 6), DumpWordPosition(4095, 7)}));
}

TEST(DumpComposerTest, RegionRunsCoverExactlyTheTwoDigitsInEveryRegion) {
  FirmwareImage file, device;
  file.Slot(0)[15] = 0x00;
  device.Slot(5)[0] = 0x54;  // a device ID the file does not hold
  DumpComposer dump;
  dump.Compose(device, file, device);
  ASSERT_EQ(dump.RegionRuns().size(), 2u);
  std::string_view text = dump.RegionText();
  const DumpRun first = dump.RegionRuns()[0];
  const DumpRun second = dump.RegionRuns()[1];
  EXPECT_EQ(first.End - first.Begin, 2);
  EXPECT_EQ(text.substr(static_cast<size_t>(first.Begin), 4), "ff  ");
  EXPECT_EQ(text.substr(static_cast<size_t>(first.Begin + 4), 2), "\r\n");
  EXPECT_EQ(text.substr(static_cast<size_t>(second.Begin) - 10, 12), "3FFFFE    54");
  EXPECT_EQ(second.End - second.Begin, 2);
}

TEST(DumpComposerTest, ComposingAgainForgetsTheEarlierDump) {
  FirmwareImage file, device;
  file[0] = 0x00;
  file.Slot(1)[0] = 0x00;
  DumpComposer dump;
  dump.Compose(file, file, device);
  ASSERT_EQ(dump.FlashRuns().size(), 1u);
  const std::string regionBefore(dump.RegionText());
  dump.Compose(device, device, device);
  EXPECT_TRUE(dump.FlashRuns().empty());
  EXPECT_TRUE(dump.RegionRuns().empty());
  EXPECT_EQ(Row(dump, 0).substr(8, 4), "ffff");
  EXPECT_EQ(dump.RegionText().size(), regionBefore.size());
  EXPECT_NE(dump.RegionText(), regionBefore);
}

TEST(DumpComposerTest, TerminalFormWrapsEachRunInMarksAndDropsCarriageReturns) {
  FirmwareImage file, device;
  file[2] = 0x00;
  file.Slot(0)[0] = 0x00;
  DumpComposer dump;
  dump.Compose(file, file, device);
  const std::string marked = DumpForTerminal(dump, true);
  EXPECT_EQ(marked.substr(0, 43), "0000    ffff  \033[1;34mff00  \033[0mffff  ffff  ");
  EXPECT_NE(marked.find("200000    \033[1;34m00\033[0m  ff"), std::string::npos);
  EXPECT_EQ(marked.find('\r'), std::string::npos);
  const std::string plain = DumpForTerminal(dump, false);
  std::string expected = dump.Text();
  std::erase(expected, '\r');
  EXPECT_EQ(plain, expected);
}

}  // namespace
}  // namespace tolvane
