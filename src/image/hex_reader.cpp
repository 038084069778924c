#include "image/hex_reader.h"

#include "log/console_log.h"
#include "log/line_end.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <system_error>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tolvane {
namespace {

constexpr uint8_t kRecordData = 0x00;
constexpr uint8_t kRecordEndOfFile = 0x01;
constexpr uint8_t kRecordExtendedLinearAddress = 0x04;

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

// The pair at the cursor, 0xFF unless it is two hex digits; the cursor
// moves on by 2 whatever it finds.
inline uint8_t ReadPair(std::string_view line, size_t& cursor) {
  const size_t at = cursor;
  cursor += 2;
  if (at >= line.size() || line.size() - at < 2) return 0xFF;
  const int hi = HexDigit(line[at]);
  const int lo = HexDigit(line[at + 1]);
  if ((hi | lo) < 0) return 0xFF;
  return static_cast<uint8_t>(hi * 16 + lo);
}

// Decodes n pairs of hex digits from text into out, adding the bytes to sum
// (only its low 8 bits matter). A pair that is not two hex digits reads as
// 0xFF. Returns whether every pair was two hex digits. Eight characters at a
// time where the platform allows, since a load decodes every character.
bool DecodePairs(const char* text, size_t n, uint8_t* out, unsigned& sum) {
  bool allHex = true;
  size_t i = 0;
#if defined(__SSE2__)
  // Sixteen characters, eight pairs, at a time.
  for (; i + 8 <= n; i += 8) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 2 * i));
    const __m128i lower = _mm_or_si128(x, _mm_set1_epi8(0x20));
    // Signed compares: bytes of 0x80 and up are negative and fail both.
    const __m128i digit =
        _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(x, _mm_set1_epi8('9' + 1)));
    const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)),
                                         _mm_cmplt_epi8(lower, _mm_set1_epi8('f' + 1)));
    if (_mm_movemask_epi8(_mm_or_si128(digit, letter)) != 0xFFFF) break;
    // Digit values: the low nibble, plus 9 for letters.
    const __m128i v = _mm_add_epi8(_mm_and_si128(x, _mm_set1_epi8(0x0F)), _mm_and_si128(letter, _mm_set1_epi8(9)));
    // Each 16-bit lane holds a pair, first digit in its low byte.
    const __m128i pairs = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(v, _mm_set1_epi16(0x00FF)), 4),
                                       _mm_srli_epi16(v, 8));
    const __m128i bytes = _mm_packus_epi16(pairs, pairs);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), bytes);
    sum += static_cast<unsigned>(_mm_cvtsi128_si32(_mm_sad_epu8(bytes, _mm_setzero_si128())));
  }
#endif
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kOnes = 0x0101010101010101u;
    constexpr uint64_t kHigh = 0x8080808080808080u;
    // Bytes of x (all below 0x80) in [lo, hi] get their high bit set.
    const auto inRange = [](uint64_t x, uint64_t lo, uint64_t hi) {
      return (x + (0x80 - lo) * kOnes) & ~(x + (0x7F - hi) * kOnes) & kHigh;
    };
    for (; i + 4 <= n; i += 4) {
      uint64_t x;
      std::memcpy(&x, text + 2 * i, 8);
      const bool hex = (x & kHigh) == 0 &&
                       (inRange(x, '0', '9') | inRange(x | 0x20 * kOnes, 'a', 'f')) == kHigh;
      if (!hex) break;
      // Digit values: the low nibble, plus 9 for letters (bit 6 set).
      const uint64_t v = (x & 0x0F * kOnes) + ((x >> 6) & kOnes) * 9;
      constexpr uint64_t kLanes = 0x00FF00FF00FF00FFu;
      uint64_t w = ((v & kLanes) << 4) | ((v >> 8) & kLanes);  // one byte per 16-bit lane
      sum += static_cast<unsigned>((w * 0x0001000100010001u) >> 48);  // lanes never carry
      w = (w | (w >> 8)) & 0x0000FFFF0000FFFFu;
      w = (w | (w >> 16)) & 0xFFFFFFFFu;
      const auto bytes = static_cast<uint32_t>(w);
      std::memcpy(out + i, &bytes, 4);
    }
  }
  for (; i < n; ++i) {
    const int hi = HexDigit(text[2 * i]);
    const int lo = HexDigit(text[2 * i + 1]);
    const int bad = (hi | lo) >> 8;  // -1 when either is not a digit
    allHex = allHex && bad == 0;
    const auto value = static_cast<uint8_t>((hi * 16 + lo) | bad);
    out[i] = value;
    sum += value;
  }
  return allHex;
}

// The trace of a load, composed here. A load traces every record, so this is
// its hot path: finished lines in the normal colour wait in the buffer and go
// to the log together; a coloured line goes on its own, after them. The
// conversions are the log's own ("%X", "%d").
class TraceLines {
 public:
  TraceLines& Text(std::string_view text) {
    if (text.size() > m_Buffer.size() - m_Size) Empty();
    if (text.size() > m_Buffer.size()) {
      Log().Text(text);
      return *this;
    }
    text.copy(m_Buffer.data() + m_Size, text.size());
    m_Size += text.size();
    return *this;
  }
  TraceLines& Hex(uint32_t value) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    size_t n = 1;
    while (n < 8 && (value >> (4 * n)) != 0) ++n;
    char* out = Room(n);
    for (size_t i = n; i-- > 0; value >>= 4) out[i] = kDigits[value & 0x0F];
    return *this;
  }
  TraceLines& Dec(int32_t value) {
    const bool negative = value < 0;
    auto magnitude = negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    size_t n = 1;
    for (uint32_t rest = magnitude / 10; rest != 0; rest /= 10) ++n;
    char* out = Room(n + (negative ? 1 : 0));
    if (negative) *out++ = '-';
    for (size_t i = n; i-- > 0; magnitude /= 10) out[i] = static_cast<char>('0' + magnitude % 10);
    return *this;
  }
  // The current line is finished (its text ended with '\n').
  void End(int color = kColorNormal) {
    if (color == kColorNormal) {
      m_Finished = m_Size;
      if (m_Finished > m_Buffer.size() - kLongestLine) Send();
      return;
    }
    Send();  // leaves the current line at the start of the buffer
    Log().SetColor(color).Text(std::string_view(m_Buffer.data(), m_Size)).SetColor(kColorNormal);
    m_Size = 0;
  }
  // Hands the finished lines to the log; the current line's start stays.
  void Send() {
    if (m_Finished == 0) return;
    Log().Lines(std::string_view(m_Buffer.data(), m_Finished));
    std::memmove(m_Buffer.data(), m_Buffer.data() + m_Finished, m_Size - m_Finished);
    m_Size -= m_Finished;
    m_Finished = 0;
  }

 private:
  // A region record's byte list, the longest line a load traces.
  static constexpr size_t kLongestLine = 1280;

  // Room for n more characters at the end of the buffer.
  char* Room(size_t n) {
    if (n > m_Buffer.size() - m_Size) Empty();
    char* out = m_Buffer.data() + m_Size;
    m_Size += n;
    return out;
  }
  // Makes the whole buffer free: the finished lines go, then the start of
  // the current line, which the log keeps until the line ends.
  void Empty() {
    Send();
    if (m_Size > 0) Log().Text(std::string_view(m_Buffer.data(), m_Size));
    m_Size = 0;
  }

  std::array<char, 4 * kLongestLine> m_Buffer;
  size_t m_Size = 0;      // characters in the buffer
  size_t m_Finished = 0;  // of which belong to finished lines
};

// The pairs of one record line, each read once: count, offset, type, data
// and checksum, as far as the count says. Pairs that are missing or not hex
// digits read as 0xFF, as ReadHexByte reads them.
struct RecordPairs {
  std::array<uint8_t, 1 + 2 + 1 + 255 + 1> bytes;
  size_t count = 0;   // data bytes the record claims
  size_t pairs = 0;   // pairs the record claims in all
  HexFault fault = HexFault::None;

  explicit RecordPairs(std::string_view line) {
    bytes[0] = PairAt(line, 1);
    const bool countIsHex = IsHexPair(line, 1);
    count = bytes[0];
    pairs = 1 + 2 + 1 + count + 1;
    const size_t length = 1 + 2 * pairs;
    bool allHex = countIsHex;
    unsigned sum = bytes[0];
    if (line.size() >= length) {
      // The usual case: every pair is there.
      allHex = DecodePairs(line.data() + 3, pairs - 1, bytes.data() + 1, sum) && allHex;
    } else {
      for (size_t i = 1; i < pairs; ++i) {
        allHex = allHex && IsHexPair(line, 1 + 2 * i);
        sum += bytes[i] = PairAt(line, 1 + 2 * i);
      }
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

  static uint8_t PairAt(std::string_view line, size_t at) { return ReadPair(line, at); }
  static bool IsHexPair(std::string_view line, size_t at) {
    return at + 2 <= line.size() && (HexDigit(line[at]) | HexDigit(line[at + 1])) >= 0;
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
  // The input broke off: the trace so far goes out, nothing more is loaded.
  void Abandon() { m_Line.Send(); }

 private:
  void LoadLine(std::string_view line);
  void LoadPiece(std::string_view piece);
  void LoadRecord(std::string_view line);
  void LoadRegionRecord(const RecordPairs& record, int32_t address);
  void LoadFlashRecord(const RecordPairs& record, int32_t address);
  void NoteDamage(HexFault fault);

  FirmwareImage& m_Image;
  HexLoadResult& m_Result;
  int32_t m_Base = 0;
  int32_t m_LineNumber = 0;
  bool m_LineStarted = false;  // pieces of the current line were loaded already
  std::string m_Pending;       // the start of a line whose end has not arrived
  TraceLines m_Line;
};

void HexLoader::Feed(std::string_view chunk) {
  while (!chunk.empty()) {
    const size_t end = FindLineEnd(chunk);
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
  if (m_Result.MissingEndRecord())
    m_Line.Text("Файл кончается без записи конца файла, он может быть обрезан \n").End(kColorWarning);
  m_Line.Text("Прочитано ").Dec(m_Result.BytesStored).Text(" байт \n").End();
  m_Line.Send();
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
  if (!m_LineStarted) ++m_LineNumber;
  m_LineStarted = true;
  if (!piece.empty() && piece[0] == ':') LoadRecord(piece);
}

void HexLoader::LoadRecord(std::string_view line) {
  ++m_Result.Records;
  const RecordPairs record(line);
  const auto count = static_cast<int32_t>(record.count);
  const int32_t offset = record.bytes[1] * 256 + record.bytes[2];
  const uint8_t type = record.bytes[3];
  m_Line.Text("Adr=").Hex(static_cast<uint32_t>(offset)).Text(" Sz=").Dec(count).Text(" type=").Hex(type).Text("\n").End();
  if (type == kRecordEndOfFile) m_Result.EndRecordSeen = true;

  if (type == kRecordExtendedLinearAddress && count == 2) {
    const uint32_t value = record.Data()[0] * 256u + record.Data()[1];
    m_Line.Text("BASE adr = ").Hex(value).Text("\n").End(kColorAddress);
    m_Base = static_cast<int32_t>(value << 16);
  }
  // Wraps like the device's 32-bit signed address: a base of 0x8000 or more
  // makes every address negative.
  const auto address = static_cast<int32_t>(static_cast<uint32_t>(m_Base) + static_cast<uint32_t>(offset));

  if (type == kRecordData) {
    if (address >= kFlashSize) {
      LoadRegionRecord(record, address);
    } else if (address < 0) {
      m_Line.Text("Adr = ").Hex(static_cast<uint32_t>(address)).Text(" вне диапазона, sz = ").Dec(count).Text("\n").End();
      m_Result.DroppedBytes += count;
    } else {
      LoadFlashRecord(record, address);
    }
  }
  if (record.fault != HexFault::None) NoteDamage(record.fault);
}

void HexLoader::NoteDamage(HexFault fault) {
  m_Line.Text("Строка ")
      .Dec(m_LineNumber)
      .Text(": ")
      .Text(HexFaultText(fault))
      .Text(", запись загружена как есть \n")
      .End(kColorWarning);
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
    } else {
      ++m_Result.DroppedBytes;
    }
  }
  m_Line.Text("Adr = ").Hex(static_cast<uint32_t>(address)).Text(" высокий, sz = ").Dec(count).Text("\n").End(kColorBanner);
  for (int32_t j = 0; j < count; ++j) m_Line.Hex(record.Data()[j]).Text("  ");
  m_Line.Text("\n").End();
}

void HexLoader::LoadFlashRecord(const RecordPairs& record, int32_t address) {
  const auto count = static_cast<int32_t>(record.count);
  const int32_t inFlash = std::min(count, kFlashSize - address);
  std::memcpy(m_Image.Data() + address, record.Data(), static_cast<size_t>(inFlash));
  m_Result.BytesStored += inFlash;
  // Bytes past the end of flash are not routed to the regions.
  for (int32_t at = address + inFlash; at < address + count; ++at) {
    m_Line.Text("Adr = ").Hex(static_cast<uint32_t>(at)).Text(" вне диапазона \n").End();
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
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (ec) return {};  // the open tells why
  if (std::filesystem::is_directory(status)) return std::make_error_code(std::errc::is_a_directory).message();
  if (std::filesystem::is_regular_file(status)) {
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxHexFileBytes) return std::make_error_code(std::errc::file_too_large).message();
  }
  return {};
}

// Streams the file into the loader in chunks; on failure `error` holds the
// system's reason. Input beyond kMaxHexFileBytes fails as too large.
ReadOutcome StreamFile(const std::string& path, HexLoader& loader, std::string& error) {
  error = RefusalBeforeOpening(path);
  if (!error.empty()) return ReadOutcome::OpenFailed;
  std::FILE* file = std::fopen(path.c_str(), "rb");
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
    if (got > 0) loader.Feed(std::string_view(buffer.data(), got));
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

std::string DamageDescription(const HexLoadResult& load) {
  std::string text;
  if (load.DamagedRecords > 0 || load.DroppedBytes > 0) {
    text = "повреждённых записей " + std::to_string(load.DamagedRecords) + ", отброшено байт " +
           std::to_string(load.DroppedBytes) + ".";
  }
  if (load.DamagedRecords > 0) {
    text += " Первая повреждённая запись в строке " + std::to_string(load.FirstDamagedLine);
    text += load.FirstDamage.empty() ? "." : ": " + load.FirstDamage + ".";
  }
  if (load.MissingEndRecord())
    text += text.empty() ? "нет записи конца файла, файл может быть обрезан."
                         : " Нет записи конца файла, файл может быть обрезан.";
  return text;
}

uint8_t ReadHexByte(std::string_view line, size_t& cursor) { return ReadPair(line, cursor); }

HexLoadResult LoadHexFile(const std::string& path, FirmwareImage& image) {
  HexLoadResult result;
  Log().Text(kStartLine);
  image.Clear();
  std::string error;
  ReadOutcome outcome;
  {
    HexLoader loader(image, result);
    outcome = StreamFile(path, loader, error);
    if (outcome == ReadOutcome::Read) {
      loader.Finish();
    } else {
      loader.Abandon();
    }
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
