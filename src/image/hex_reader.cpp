#include "image/hex_reader.h"

#include "log/console_log.h"

#include <cerrno>
#include <cstdio>
#include <limits>
#include <optional>
#include <system_error>

namespace tolvane {
namespace {

constexpr uint8_t kRecordData = 0x00;
constexpr uint8_t kRecordExtendedLinearAddress = 0x04;

// Texts of the trace.
constexpr std::string_view kStartLine = "Читаю HEX - файл \n";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// What is wrong with a record line, if anything. Checks every pair that the
// record's count calls for, whether or not loading reads it.
HexFault RecordFault(std::string_view line) {
  if (line.size() < 3) return HexFault::ShortLine;
  const int hi = HexDigit(line[1]);
  const int lo = HexDigit(line[2]);
  if (hi < 0 || lo < 0) return HexFault::NonHexDigits;
  const auto count = static_cast<size_t>(hi * 16 + lo);
  const size_t pairs = 1 + 2 + 1 + count + 1;  // count, offset, type, data, checksum
  if (line.size() < 1 + 2 * pairs) return HexFault::ShortLine;
  unsigned sum = 0;
  for (size_t cursor = 1; cursor < 1 + 2 * pairs; cursor += 2) {
    const int h = HexDigit(line[cursor]);
    const int l = HexDigit(line[cursor + 1]);
    if (h < 0 || l < 0) return HexFault::NonHexDigits;
    sum += static_cast<unsigned>(h * 16 + l);
  }
  if ((sum & 0xFF) != 0) return HexFault::BadChecksum;
  // Trailing blanks are harmless; anything else means the count is wrong.
  if (line.find_first_not_of(" \t\r", 1 + 2 * pairs) != std::string_view::npos) return HexFault::LongLine;
  return HexFault::None;
}

class HexLoader {
 public:
  HexLoader(FirmwareImage& image, HexLoadResult& result) : m_Image(image), m_Result(result) {}

  void LoadText(std::string_view text);

 private:
  void LoadPhysicalLine(std::string_view line);
  void LoadRecord(std::string_view line);
  void LoadRegionRecord(std::string_view line, size_t& cursor, int32_t address, int32_t count);
  void LoadFlashRecord(std::string_view line, size_t& cursor, int32_t address, int32_t count);

  FirmwareImage& m_Image;
  HexLoadResult& m_Result;
  int32_t m_Base = 0;
  int32_t m_LineNumber = 0;
};

void HexLoader::LoadText(std::string_view text) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    // "\r\n" ends a line as "\n" does; a lone '\r' is part of the line.
    if (end != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    LoadPhysicalLine(line);
  }
  Log().Text("Прочитано ").Dec(m_Result.BytesStored).Text(" байт \n");
}

void HexLoader::LoadPhysicalLine(std::string_view line) {
  ++m_LineNumber;
  // An over-long line is read in pieces, each handled as a line of its own.
  do {
    std::string_view piece = line.substr(0, kHexLinePieceSize);
    line.remove_prefix(piece.size());
    if (!piece.empty() && piece[0] == ':') LoadRecord(piece);
  } while (!line.empty());
}

void HexLoader::LoadRecord(std::string_view line) {
  ++m_Result.Records;
  ConsoleLog& log = Log();
  size_t cursor = 1;
  const int32_t count = ReadHexByte(line, cursor);
  const int32_t offsetHigh = ReadHexByte(line, cursor);
  const int32_t offset = offsetHigh * 256 + ReadHexByte(line, cursor);
  const uint8_t type = ReadHexByte(line, cursor);
  log.Text("Adr=").Hex(static_cast<uint32_t>(offset)).Text(" Sz=").Dec(count).Text(" type=").Hex(type).Text("\n");

  if (type == kRecordExtendedLinearAddress && count == 2) {
    const uint32_t high = ReadHexByte(line, cursor);
    const uint32_t value = high * 256 + ReadHexByte(line, cursor);
    log.SetColor(kColorAddress).Text("BASE adr = ").Hex(value).Text("\n").SetColor(kColorNormal);
    m_Base = static_cast<int32_t>(value << 16);
  }
  // Wraps like the device's 32-bit signed address: a base of 0x8000 or more
  // makes every address negative.
  const auto address = static_cast<int32_t>(static_cast<uint32_t>(m_Base) + static_cast<uint32_t>(offset));

  if (type == kRecordData) {
    if (address >= kFlashSize) {
      LoadRegionRecord(line, cursor, address, count);
    } else if (address < 0) {
      log.Text("Adr = ").Hex(static_cast<uint32_t>(address)).Text(" вне диапазона, sz = ").Dec(count).Text("\n");
      m_Result.DroppedBytes += count;
    } else {
      LoadFlashRecord(line, cursor, address, count);
    }
  }

  const HexFault fault = RecordFault(line);
  if (fault != HexFault::None) {
    log.SetColor(kColorWarning)
        .Text("Строка ")
        .Dec(m_LineNumber)
        .Text(": ")
        .Text(HexFaultText(fault))
        .Text(", запись загружена как есть \n")
        .SetColor(kColorNormal);
    if (m_Result.DamagedRecords++ == 0) {
      m_Result.FirstDamagedLine = m_LineNumber;
      m_Result.FirstDamage = std::string(HexFaultText(fault));
      m_Result.FirstFault = fault;
    }
  }
}

void HexLoader::LoadRegionRecord(std::string_view line, size_t& cursor, int32_t address, int32_t count) {
  ConsoleLog& log = Log();
  // The bytes are read first and traced after the region line.
  uint8_t bytes[255];
  for (int32_t j = 0; j < count; ++j) {
    const uint8_t byte = ReadHexByte(line, cursor);
    bytes[static_cast<size_t>(j)] = byte;
    // Near the top of the address range address + j would wrap: such a byte
    // lies in no region.
    const int64_t at = int64_t{address} + j;
    std::optional<int32_t> offset;
    if (at <= std::numeric_limits<int32_t>::max()) offset = OffsetOfAddress(static_cast<int32_t>(at));
    if (offset) {
      m_Image[*offset] = byte;
      ++m_Result.RegionBytesStored;
    } else {
      ++m_Result.DroppedBytes;
    }
  }
  log.SetColor(kColorBanner)
      .Text("Adr = ")
      .Hex(static_cast<uint32_t>(address))
      .Text(" высокий, sz = ")
      .Dec(count)
      .Text("\n")
      .SetColor(kColorNormal);
  for (int32_t j = 0; j < count; ++j) log.Hex(bytes[static_cast<size_t>(j)]).Text("  ");
  log.Text("\n");
}

void HexLoader::LoadFlashRecord(std::string_view line, size_t& cursor, int32_t address, int32_t count) {
  for (int32_t j = 0; j < count; ++j) {
    const int32_t at = address + j;
    if (at < kFlashSize) {
      m_Image[at] = ReadHexByte(line, cursor);
      ++m_Result.BytesStored;
    } else {
      // Bytes past the end of flash are not routed to the regions.
      Log().Text("Adr = ").Hex(static_cast<uint32_t>(at)).Text(" вне диапазона \n");
      ++m_Result.DroppedBytes;
    }
  }
}

enum class ReadOutcome { Read, OpenFailed, ReadFailed };

// Reads the whole file; on failure `error` holds the system's reason.
ReadOutcome ReadWholeFile(const std::string& path, std::string& content, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = std::error_code(errno, std::generic_category()).message();
    return ReadOutcome::OpenFailed;
  }
  char buffer[65536];
  size_t n;
  errno = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, n);
  const bool failed = std::ferror(file) != 0;
  if (failed) error = std::error_code(errno, std::generic_category()).message();
  std::fclose(file);
  return failed ? ReadOutcome::ReadFailed : ReadOutcome::Read;
}

}  // namespace

std::string_view HexFaultText(HexFault fault) {
  switch (fault) {
    case HexFault::ShortLine: return "строка короче длины записи";
    case HexFault::NonHexDigits: return "не шестнадцатеричные цифры";
    case HexFault::BadChecksum: return "неверная контрольная сумма";
    case HexFault::LongLine: return "строка длиннее длины записи";
    case HexFault::None: break;
  }
  return {};
}

uint8_t ReadHexByte(std::string_view line, size_t& cursor) {
  const size_t at = cursor;
  cursor += 2;
  if (at >= line.size() || line.size() - at < 2) return 0xFF;
  const int hi = HexDigit(line[at]);
  const int lo = HexDigit(line[at + 1]);
  if (hi < 0 || lo < 0) return 0xFF;
  return static_cast<uint8_t>(hi * 16 + lo);
}

HexLoadResult LoadHexFile(const std::string& path, FirmwareImage& image) {
  HexLoadResult result;
  Log().Text(kStartLine);
  image.Clear();
  std::string content;
  std::string error;
  const ReadOutcome outcome = ReadWholeFile(path, content, error);
  if (outcome != ReadOutcome::Read) {
    Log()
        .SetColor(kColorWarning)
        .Text(outcome == ReadOutcome::OpenFailed ? "Не удалось открыть файл " : "Ошибка чтения файла ")
        .Text(path)
        .Text(": ")
        .Text(error)
        .Text(" \n")
        .SetColor(kColorNormal);
    result.OpenError = error;
    // An unreadable file leaves the image cleared; a read that broke off
    // loads what came before the failure.
    if (outcome == ReadOutcome::OpenFailed) return result;
  }
  HexLoader(image, result).LoadText(content);
  result.FileRead = outcome == ReadOutcome::Read;
  return result;
}

HexLoadResult LoadHexText(std::string_view text, FirmwareImage& image) {
  HexLoadResult result;
  Log().Text(kStartLine);
  image.Clear();
  HexLoader(image, result).LoadText(text);
  result.FileRead = true;
  return result;
}

}  // namespace tolvane
