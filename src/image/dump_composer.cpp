#include "image/dump_composer.h"

#include <cstring>

#include "log/number_text.h"

namespace tolvane {
namespace {

// Writes a byte as two lower-case digits ("%02x").
inline char* PutByte(char* out, uint8_t value) { return PutHex(out, value, 2, true); }

// "%04X    ": at least four upper-case digits, then four spaces.
void AppendAddress(std::string& out, int32_t address) {
  char digits[8];
  out.append(digits, PutHex(digits, static_cast<uint32_t>(address), 4));
  out.append("    ");
}

constexpr size_t RegionTextSize() {
  size_t size = 0;
  for (const MemoryRegion& region : MemoryRegions) {
    size += std::char_traits<char>::length(region.Name) + 4;  // name, ": \r\n"
    size_t digits = 0;
    for (auto v = static_cast<uint32_t>(region.Start); v != 0; v >>= 4) ++digits;
    size += (digits < 4 ? 4 : digits) + 4 + 4 * static_cast<size_t>(region.Size) + 2;
  }
  return size;
}

constexpr size_t MaxRegionRuns() {
  size_t n = 0;
  for (const MemoryRegion& region : MemoryRegions) n += static_cast<size_t>(region.Size);
  return n;
}

}  // namespace

DumpComposer::DumpComposer() {
  m_Flash.assign(static_cast<size_t>(kDumpFlashTextSize), ' ');
  // At most one run for every other word of a row.
  m_FlashRuns.reserve(static_cast<size_t>(kDumpRowCount * kDumpWordsPerRow / 2));
  m_Region.reserve(RegionTextSize());
  m_RegionRuns.reserve(MaxRegionRuns());
}

void DumpComposer::Compose(const FirmwareImage& shown, const FirmwareImage& file, const FirmwareImage& device) {
  ComposeFlash(shown, file, device);
  ComposeRegions(shown, file, device);
}

void DumpComposer::ComposeFlash(const FirmwareImage& shown, const FirmwareImage& file, const FirmwareImage& device) {
  m_FlashRuns.clear();
  char* out = m_Flash.data();
  const uint8_t* bytes = shown.Data();
  const uint8_t* a = file.Data();
  const uint8_t* b = device.Data();
  for (int32_t row = 0; row < kDumpRowCount; ++row) {
    const int32_t base = row * kDumpBytesPerRow;
    PutHex(out, static_cast<uint32_t>(base), 4);  // flash rows need four digits
    std::memset(out + 4, ' ', 4);
    out += kDumpAddressWidth;

    int32_t runStart = -1;
    for (int32_t w = 0; w < kDumpWordsPerRow; ++w) {
      const auto at = static_cast<size_t>(base + 2 * w);
      out = PutByte(out, bytes[at + 1]);  // high byte of the little-endian word first
      out = PutByte(out, bytes[at]);
      out[0] = ' ';
      out[1] = ' ';
      out += 2;

      const bool differs = a[at] != b[at] || a[at + 1] != b[at + 1];
      if (differs && runStart < 0) {
        runStart = DumpWordPosition(row, w);
      } else if (!differs && runStart >= 0) {
        m_FlashRuns.push_back({runStart, DumpWordPosition(row, w)});
        runStart = -1;
      }
    }
    // A run never crosses the line end.
    if (runStart >= 0) m_FlashRuns.push_back({runStart, DumpWordPosition(row, kDumpWordsPerRow)});
    out[0] = '\r';
    out[1] = '\n';
    out += 2;
  }
}

void DumpComposer::ComposeRegions(const FirmwareImage& shown, const FirmwareImage& file, const FirmwareImage& device) {
  m_Region.clear();
  m_RegionRuns.clear();
  for (int32_t k = 0; k < kRegionCount; ++k) {
    const MemoryRegion& region = MemoryRegions[static_cast<size_t>(k)];
    m_Region.append(region.Name);
    m_Region.append(": \r\n");
    AppendAddress(m_Region, region.Start);
    const uint8_t* slot = shown.Slot(k);
    for (int32_t i = 0; i < region.Size; ++i) {
      const auto begin = static_cast<int32_t>(m_Region.size());
      char pair[2];
      PutByte(pair, slot[i]);
      m_Region.append(pair, 2);
      if (file.Slot(k)[i] != device.Slot(k)[i]) m_RegionRuns.push_back({begin, begin + 2});
      m_Region.append("  ");
    }
    m_Region.append("\r\n");
  }
}

std::string DumpComposer::Text() const {
  std::string all;
  all.reserve(m_Flash.size() + m_Region.size());
  all.append(m_Flash);
  all.append(m_Region);
  return all;
}

namespace {

void AppendMarked(std::string& out, std::string_view text, std::span<const DumpRun> runs, bool marked) {
  constexpr std::string_view kMarkOn = "\033[1;34m";
  constexpr std::string_view kMarkOff = "\033[0m";
  size_t at = 0;
  auto copy = [&](size_t end) {
    for (; at < end; ++at)
      if (text[at] != '\r') out.push_back(text[at]);
  };
  if (marked) {
    for (const DumpRun& run : runs) {
      copy(static_cast<size_t>(run.Begin));
      out.append(kMarkOn);
      copy(static_cast<size_t>(run.End));
      out.append(kMarkOff);
    }
  }
  copy(text.size());
}

}  // namespace

std::string DumpForTerminal(const DumpComposer& dump, bool marked) {
  std::string out;
  out.reserve(dump.FlashText().size() + dump.RegionText().size() +
              (marked ? 12 * (dump.FlashRuns().size() + dump.RegionRuns().size()) : 0));
  AppendMarked(out, dump.FlashText(), dump.FlashRuns(), marked);
  AppendMarked(out, dump.RegionText(), dump.RegionRuns(), marked);
  return out;
}

}  // namespace tolvane
