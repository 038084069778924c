#include "image/hex_reader.h"

#include "log/console_log.h"
#include "log/file_open.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <system_error>
#include <vector>

namespace tolvane {
namespace {

constexpr uint8_t kRecordData = 0x00;
constexpr uint8_t kRecordEndOfFile = 0x01;
constexpr uint8_t kRecordExtendedSegmentAddress = 0x02;
constexpr uint8_t kRecordStartSegmentAddress = 0x03;
constexpr uint8_t kRecordExtendedLinearAddress = 0x04;

// The byte-order mark an editor (Notepad) may put at the start of a text file.
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// What may stand before a record's colon in a line that is still read as a
// record (and counted as damaged): blanks and NULs. A line with anything
// else before its colon is no record (a comment).
constexpr std::string_view kLeadingBlanks = std::string_view(" \t\f\v\0", 5);

// Texts of the trace.
constexpr std::string_view kStartLine = "Читаю HEX - файл \n";

// What may follow a record's last pair without damage: blanks, and 0x1A, the
// end-of-file character of old DOS tools.
constexpr std::string_view kTrailingBlanks = " \t\r\f\v\x1a";

// Value of each character as a hex digit (either case), -1 for any other.
constexpr std::array<int8_t, 256> kDigitValues = [] {
  std::array<int8_t, 256> values{};
  values.fill(-1);
  for (int i = 0; i < 10; ++i) values[static_cast<size_t>('0' + i)] = static_cast<int8_t>(i);
  for (int i = 0; i < 6; ++i) {
    values[static_cast<size_t>('A' + i)] = static_cast<int8_t>(10 + i);
    values[static_cast<size_t>('a' + i)] = static_cast<int8_t>(10 + i);
  }
  return values;
}();

inline int HexDigit(char c) { return kDigitValues[static_cast<unsigned char>(c)]; }

// The pair at `at`: its value, 0xFF unless it is two hex digits (or when it
// runs past the line's end); `hex` tells which.
inline uint8_t PairAt(std::string_view line, size_t at, bool& hex) {
  if (at >= line.size() || line.size() - at < 2) {
    hex = false;
    return 0xFF;
  }
  const int hi = HexDigit(line[at]);
  const int lo = HexDigit(line[at + 1]);
  hex = (hi | lo) >= 0;
  return hex ? static_cast<uint8_t>(hi * 16 + lo) : uint8_t{0xFF};
}

// The pairs of one record line, each read once: count, offset, type, data
// and checksum, as far as the count says. Pairs that are missing or not hex
// digits read as 0xFF, as ReadHexByte reads them.
struct RecordPairs {
  std::array<uint8_t, 1 + 2 + 1 + 255 + 1> bytes;
  size_t count = 0;  // data bytes the record claims
  size_t pairs = 0;  // pairs the record claims in all
  HexFault fault = HexFault::None;

  explicit RecordPairs(std::string_view line) {
    bool countIsHex = false;
    bytes[0] = PairAt(line, 1, countIsHex);
    count = bytes[0];
    pairs = 1 + 2 + 1 + count + 1;
    const size_t length = 1 + 2 * pairs;
    bool allHex = countIsHex;
    unsigned sum = bytes[0];
    for (size_t i = 1; i < pairs; ++i) {
      bool hex = false;
      bytes[i] = PairAt(line, 1 + 2 * i, hex);
      allHex = allHex && hex;
      sum += bytes[i];
    }

    // What is wrong with the line, if anything, judged on every pair the
    // count calls for, whether or not loading reads it.
    if (line.size() < 3) {
      fault = HexFault::ShortLine;
    } else if (!countIsHex) {
      fault = HexFault::NonHexDigits;
    } else if (line.size() < length) {
      fault = HexFault::ShortLine;
    } else if (!allHex) {
      fault = HexFault::NonHexDigits;
    } else if ((sum & 0xFF) != 0) {
      fault = HexFault::BadChecksum;
    } else if (line.find_first_not_of(kTrailingBlanks, length) != std::string_view::npos) {
      // Trailing blanks (and the end-of-file character old DOS tools put after
      // the last record) are harmless; anything else means the count is wrong.
      fault = HexFault::LongLine;
    }
  }

  const uint8_t* Data() const { return bytes.data() + 4; }
};

// Loads a file's text as it arrives, in chunks of any size: complete lines
// are loaded at once, the start of an unfinished one waits for the next
// chunk. An over-long line is handed on in pieces as soon as a piece is
// certain, so nothing held grows with the input.
class HexLoader {
 public:
  HexLoader(FirmwareImage& image, HexLoadResult& result) : m_Image(image), m_Result(result) {}

  void Feed(std::string_view chunk);
  // The input has ended: loads the last, unterminated line and closes the trace.
  void Finish();

 private:
  void LoadLine(std::string_view line);
  void LoadPiece(std::string_view piece);
  void LoadRecord(std::string_view line, bool afterBlanks);
  void LoadRegionRecord(const RecordPairs& record, int32_t address);
  void LoadFlashRecord(const RecordPairs& record, int32_t address);
  void NoteDamage(HexFault fault);

  FirmwareImage& m_Image;
  HexLoadResult& m_Result;
  int32_t m_Base = 0;
  int32_t m_LineNumber = 0;
  bool m_LineStarted = false;  // pieces of the current line were loaded already
  std::string m_Pending;       // the start of a line whose end has not arrived
};

void HexLoader::Feed(std::string_view chunk) {
  while (!chunk.empty()) {
    const size_t end = chunk.find('\n');
    if (end == std::string_view::npos) {
      m_Pending.append(chunk);
      // A piece is certain once more than a piece and a possible '\r' wait.
      size_t taken = 0;
      while (m_Pending.size() - taken >= kHexLinePieceSize + 2) {
        LoadPiece(std::string_view(m_Pending).substr(taken, kHexLinePieceSize));
        taken += kHexLinePieceSize;
      }
      m_Pending.erase(0, taken);
      return;
    }
    if (m_Pending.empty()) {
      LoadLine(chunk.substr(0, end));
    } else {
      m_Pending.append(chunk.substr(0, end));
      LoadLine(m_Pending);
      m_Pending.clear();
    }
    chunk.remove_prefix(end + 1);
  }
}

void HexLoader::Finish() {
  // The last line needs no line end.
  if (!m_Pending.empty()) {
    std::string_view last = m_Pending;
    do {
      LoadPiece(last.substr(0, kHexLinePieceSize));
      last.remove_prefix(std::min(last.size(), kHexLinePieceSize));
    } while (!last.empty());
    m_Pending.clear();
    m_LineStarted = false;
  }
  if (m_Result.EepromBytes > 0)
    Log()
        .SetColor(kColorWarning)
        .Text("Данные для EEPROM (")
        .Dec(m_Result.EepromBytes)
        .Text(" байт) не записываются: монитор пишет только память программ \n")
        .SetColor(kColorNormal);
  if (m_Result.MissingEndRecord())
    Log()
        .SetColor(kColorWarning)
        .Text("Файл кончается без записи конца файла, он может быть обрезан \n")
        .SetColor(kColorNormal);
  Log().Text("Прочитано ").Dec(m_Result.BytesStored).Text(" байт \n");
}

// A whole line ("\r\n" ends a line as "\n" does; a lone '\r' is part of it).
void HexLoader::LoadLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  // An over-long line is read in pieces, each handled as a line of its own.
  do {
    std::string_view piece = line.substr(0, kHexLinePieceSize);
    line.remove_prefix(piece.size());
    LoadPiece(piece);
  } while (!line.empty());
  m_LineStarted = false;
}

void HexLoader::LoadPiece(std::string_view piece) {
  const bool lineStart = !m_LineStarted;
  if (lineStart) ++m_LineNumber;
  m_LineStarted = true;
  // A byte-order mark at the start of the file is harmless; anywhere else
  // (files joined together) it stands before a record like a blank.
  bool junk = false;
  if (lineStart && piece.starts_with(kUtf8Bom)) {
    piece.remove_prefix(kUtf8Bom.size());
    junk = m_LineNumber > 1;
  }
  // A record behind blanks or NULs is still a record: loaded, and damage.
  const size_t colon = piece.find_first_not_of(kLeadingBlanks);
  if (colon == std::string_view::npos || piece[colon] != ':') return;
  LoadRecord(piece.substr(colon), junk || colon > 0);
}

void HexLoader::LoadRecord(std::string_view line, bool afterBlanks) {
  ++m_Result.Records;
  const RecordPairs record(line);
  const auto count = static_cast<int32_t>(record.count);
  const int32_t offset = record.bytes[1] * 256 + record.bytes[2];
  const uint8_t type = record.bytes[3];
  Log().Text("Adr=").Hex(static_cast<uint32_t>(offset)).Text(" Sz=").Dec(count).Text(" type=").Hex(type).Text("\n");
  if (type == kRecordEndOfFile) m_Result.EndRecordSeen = true;

  if (type == kRecordExtendedLinearAddress && count == 2) {
    const uint32_t value = record.Data()[0] * 256u + record.Data()[1];
    Log().SetColor(kColorAddress).Text("BASE adr = ").Hex(value).Text("\n").SetColor(kColorNormal);
    m_Base = static_cast<int32_t>(value << 16);
  }
  // Wraps like the device's 32-bit signed address: a base of 0x8000 or more
  // makes every address negative.
  const auto address = static_cast<int32_t>(static_cast<uint32_t>(m_Base) + static_cast<uint32_t>(offset));

  if (type == kRecordData) {
    if (address >= kFlashSize) {
      LoadRegionRecord(record, address);
    } else if (address < 0) {
      Log().Text("Adr = ").Hex(static_cast<uint32_t>(address)).Text(" вне диапазона, sz = ").Dec(count).Text("\n");
      m_Result.DroppedBytes += count;
    } else {
      LoadFlashRecord(record, address);
    }
  }
  HexFault fault = record.fault;
  // A segment address would move the data elsewhere; it is not followed, so
  // data meant for another segment lands here: the record is damage.
  if (fault == HexFault::None && (type == kRecordExtendedSegmentAddress || type == kRecordStartSegmentAddress) &&
      std::any_of(record.Data(), record.Data() + count, [](uint8_t b) { return b != 0; }))
    fault = HexFault::SegmentAddress;
  if (fault == HexFault::None && afterBlanks) fault = HexFault::LeadingBlanks;
  if (fault != HexFault::None) NoteDamage(fault);
}

void HexLoader::NoteDamage(HexFault fault) {
  Log()
      .SetColor(kColorWarning)
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

void HexLoader::LoadRegionRecord(const RecordPairs& record, int32_t address) {
  const auto count = static_cast<int32_t>(record.count);
  for (int32_t j = 0; j < count; ++j) {
    // Near the top of the address range address + j would wrap: such a byte
    // lies in no region.
    const int64_t at = int64_t{address} + j;
    std::optional<int32_t> offset;
    if (at <= std::numeric_limits<int32_t>::max()) offset = OffsetOfAddress(static_cast<int32_t>(at));
    if (offset) {
      m_Image[*offset] = record.Data()[j];
      ++m_Result.RegionBytesStored;
      m_Result.RegionSet.set(static_cast<size_t>(*offset - kFlashSize));
    } else if (InEeprom(at)) {
      ++m_Result.EepromBytes;
    } else {
      ++m_Result.DroppedBytes;
    }
  }
  Log()
      .SetColor(kColorBanner)
      .Text("Adr = ")
      .Hex(static_cast<uint32_t>(address))
      .Text(" высокий, sz = ")
      .Dec(count)
      .Text("\n")
      .SetColor(kColorNormal);
  for (int32_t j = 0; j < count; ++j) Log().Hex(record.Data()[j]).Text("  ");
  Log().Text("\n");
}

void HexLoader::LoadFlashRecord(const RecordPairs& record, int32_t address) {
  const auto count = static_cast<int32_t>(record.count);
  const int32_t inFlash = std::min(count, kFlashSize - address);
  std::memcpy(m_Image.Data() + address, record.Data(), static_cast<size_t>(inFlash));
  m_Result.BytesStored += inFlash;
  // Bytes past the end of flash are not routed to the regions.
  for (int32_t at = address + inFlash; at < address + count; ++at) {
    Log().Text("Adr = ").Hex(static_cast<uint32_t>(at)).Text(" вне диапазона \n");
    ++m_Result.DroppedBytes;
  }
}

}  // namespace

namespace {

enum class ReadOutcome { Read, OpenFailed, ReadFailed };

// Why a path cannot be read as a file, before it is opened: a directory, or
// a regular file larger than any firmware. Empty when nothing is known
// against it (devices and pipes are judged as they are read).
std::string RefusalBeforeOpening(const std::string& path) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(PathOf(path), ec);
  if (ec) return {};  // the open tells why
  if (std::filesystem::is_directory(status)) return std::make_error_code(std::errc::is_a_directory).message();
  if (std::filesystem::is_regular_file(status)) {
    const std::uintmax_t size = std::filesystem::file_size(PathOf(path), ec);
    if (!ec && size > kMaxHexFileBytes) return std::make_error_code(std::errc::file_too_large).message();
  }
  return {};
}

// Streams the file into the loader in chunks; on failure `error` holds the
// system's reason. Input beyond kMaxHexFileBytes fails as too large.
ReadOutcome StreamFile(const std::string& path, HexLoader& loader, std::string& error,
                       const std::function<void(std::string_view)>& onBytes) {
  error = RefusalBeforeOpening(path);
  if (!error.empty()) return ReadOutcome::OpenFailed;
  std::FILE* file = OpenFile(path, "rb");
  if (file == nullptr) {
    error = std::error_code(errno, std::generic_category()).message();
    return ReadOutcome::OpenFailed;
  }
  std::vector<char> buffer(size_t{1} << 16);
  uint64_t total = 0;
  ReadOutcome outcome = ReadOutcome::Read;
  for (;;) {
    errno = 0;
    const size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
    total += got;
    if (total > kMaxHexFileBytes) {
      error = std::make_error_code(std::errc::file_too_large).message();
      outcome = ReadOutcome::ReadFailed;
      break;
    }
    if (got > 0) {
      const std::string_view chunk(buffer.data(), got);
      if (onBytes) onBytes(chunk);
      loader.Feed(chunk);
    }
    if (got < buffer.size()) {
      if (std::ferror(file) != 0) {
        error = std::error_code(errno, std::generic_category()).message();
        outcome = ReadOutcome::ReadFailed;
      }
      break;
    }
  }
  std::fclose(file);
  return outcome;
}

}  // namespace

namespace {

// Each fault as the trace names it, and as the command line's summary does.
struct FaultNames {
  HexFault Fault;
  std::string_view Trace;
  std::string_view English;
};
constexpr FaultNames kFaultNames[] = {
    {HexFault::ShortLine, "строка короче длины записи", "line shorter than its count"},
    {HexFault::NonHexDigits, "не шестнадцатеричные цифры", "non-hex digits"},
    {HexFault::BadChecksum, "неверная контрольная сумма", "bad checksum"},
    {HexFault::LongLine, "строка длиннее длины записи", "line longer than its count"},
    {HexFault::LeadingBlanks, "перед записью пробелы или нулевые байты", "blanks or NULs before the record"},
    {HexFault::SegmentAddress, "адрес сегмента (запись типа 02 или 03) не поддерживается",
     "segment address (type 02 or 03) not supported"},
};

const FaultNames* NamesOf(HexFault fault) {
  for (const FaultNames& names : kFaultNames)
    if (names.Fault == fault) return &names;
  return nullptr;
}

}  // namespace

std::string_view HexFaultText(HexFault fault) {
  const FaultNames* names = NamesOf(fault);
  return names != nullptr ? names->Trace : std::string_view();
}

std::string_view HexFaultName(HexFault fault) {
  const FaultNames* names = NamesOf(fault);
  return names != nullptr ? names->English : std::string_view();
}

std::string DamageDescription(const HexLoadResult& load) {
  std::string text;
  auto clause = [&](const std::string& part) { text += (text.empty() ? "" : "; ") + part; };
  if (load.DamagedRecords > 0) {
    std::string part = "повреждённых записей " + std::to_string(load.DamagedRecords) + ", первая в строке " +
                       std::to_string(load.FirstDamagedLine);
    if (!load.FirstDamage.empty()) part += ": " + load.FirstDamage;
    clause(part);
  }
  if (load.DroppedBytes > 0)
    clause("данные вне памяти этого микроконтроллера (" + std::to_string(load.DroppedBytes) +
           " байт), файл может быть для другого МК");
  if (load.MissingEndRecord()) clause("нет записи конца файла, файл может быть обрезан");
  return text.empty() ? text : text + ".";
}

std::string SuspectFileText(const HexLoadResult& load) {
  return "HEX-файл вызывает сомнения: " + DamageDescription(load);
}

std::string EepromNote(const HexLoadResult& load) {
  if (load.EepromBytes == 0) return {};
  return "В файле есть данные для EEPROM (" + std::to_string(load.EepromBytes) +
         " байт): монитор их не записывает, EEPROM модуля не изменится.";
}

uint8_t ReadHexByte(std::string_view line, size_t& cursor) {
  bool hex = false;
  const uint8_t value = PairAt(line, cursor, hex);
  cursor += 2;
  return value;
}

HexLoadResult LoadHexFile(const std::string& path, FirmwareImage& image,
                          const std::function<void(std::string_view)>& onBytes) {
  HexLoadResult result;
  Log().Text(kStartLine);
  image.Clear();
  std::string error;
  ReadOutcome outcome;
  {
    HexLoader loader(image, result);
    outcome = StreamFile(path, loader, error, onBytes);
    if (outcome == ReadOutcome::Read) loader.Finish();
  }
  if (outcome == ReadOutcome::Read) {
    result.FileRead = true;
    return result;
  }
  Log()
      .SetColor(kColorWarning)
      .Text(outcome == ReadOutcome::OpenFailed ? "Не удалось открыть файл " : "Ошибка чтения файла ")
      .Text(path)
      .Text(": ")
      .Text(error)
      .Text(" \n")
      .SetColor(kColorNormal);
  // What was loaded before a read broke off is not the file: the image is
  // left as for a file that could not be opened.
  image.Clear();
  result = HexLoadResult{};
  result.OpenError = error;
  return result;
}

HexLoadResult LoadHexText(std::string_view text, FirmwareImage& image) {
  HexLoadResult result;
  Log().Text(kStartLine);
  image.Clear();
  HexLoader loader(image, result);
  loader.Feed(text);
  loader.Finish();
  result.FileRead = true;
  return result;
}

}  // namespace tolvane
