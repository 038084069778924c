// The text of a memory dump: the program flash as 4096 rows of eight 16-bit
// words, then each region byte by byte, and the runs of characters where the
// file image and the device image differ. Front ends draw the text in a
// monospaced face and mark the runs.
#pragma once

#include "image/firmware_image.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// [Begin, End) in the composed text's own characters.
struct DumpRun {
  int32_t Begin;
  int32_t End;
  bool operator==(const DumpRun&) const = default;
};

// Row layout of the flash part: "%04X    " then 8 x "%02x%02x  " then "\r\n".
inline constexpr int32_t kDumpWordsPerRow = 8;
inline constexpr int32_t kDumpBytesPerRow = 2 * kDumpWordsPerRow;
inline constexpr int32_t kDumpRowCount = kFlashSize / kDumpBytesPerRow;
inline constexpr int32_t kDumpAddressWidth = 8;
inline constexpr int32_t kDumpWordWidth = 6;
inline constexpr int32_t kDumpRowWidth = kDumpAddressWidth + kDumpWordsPerRow * kDumpWordWidth + 2;
inline constexpr int32_t kDumpFlashTextSize = kDumpRowCount * kDumpRowWidth;

// Position of word w of row r in the flash part.
constexpr int32_t DumpWordPosition(int32_t row, int32_t word) {
  return kDumpRowWidth * row + kDumpAddressWidth + kDumpWordWidth * word;
}

class DumpComposer {
 public:
  DumpComposer();

  // Composes the dump of `shown`; the runs mark where `file` and `device`
  // differ, whichever of them is shown. Reuses its buffers: no allocation.
  void Compose(const FirmwareImage& shown, const FirmwareImage& file, const FirmwareImage& device);

  std::string_view FlashText() const { return m_Flash; }
  std::span<const DumpRun> FlashRuns() const { return m_FlashRuns; }
  // The six name lines and data lines, as appended after the flash part.
  std::string_view RegionText() const { return m_Region; }
  // Two-digit runs of differing region bytes, counted from RegionText's start.
  std::span<const DumpRun> RegionRuns() const { return m_RegionRuns; }

  // Flash part followed by region part.
  std::string Text() const;

 private:
  void ComposeFlash(const FirmwareImage& shown, const FirmwareImage& file, const FirmwareImage& device);
  void ComposeRegions(const FirmwareImage& shown, const FirmwareImage& file, const FirmwareImage& device);

  std::string m_Flash;
  std::vector<DumpRun> m_FlashRuns;
  std::string m_Region;
  std::vector<DumpRun> m_RegionRuns;
};

// The composed dump for a terminal: "\n" line ends, and when `marked` the
// mismatch runs in bold blue (ANSI).
std::string DumpForTerminal(const DumpComposer& dump, bool marked);

}  // namespace tolvane
