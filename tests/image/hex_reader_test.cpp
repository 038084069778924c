#include "image/hex_reader.h"

#include "log_capture.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <random>
#include <vector>

namespace tolvane {
namespace {

using Spans = std::vector<std::pair<int, std::string>>;

// One record line with the right checksum.
std::string Rec(int type, int offset, std::vector<int> data) {
  char buf[16];
  int sum = static_cast<int>(data.size()) + (offset >> 8) + (offset & 0xFF) + type;
  std::snprintf(buf, sizeof buf, ":%02X%04X%02X", static_cast<int>(data.size()), offset, type);
  std::string line = buf;
  for (int byte : data) {
    std::snprintf(buf, sizeof buf, "%02X", byte);
    line += buf;
    sum += byte;
  }
  std::snprintf(buf, sizeof buf, "%02X\n", (-sum) & 0xFF);
  return line + buf;
}

class HexReaderTest : public test::LogCaptureTest {
 protected:
  HexLoadResult Load(const std::string& text) { return LoadHexText(text, m_Image); }
  FirmwareImage m_Image;
};

constexpr const char* kStart = "Читаю HEX - файл \n";
// The end-of-file record, without which a file counts as cut short, and its
// record line.
constexpr const char* kEnd = ":00000001FF\n";
constexpr const char* kEndLine = "Adr=0 Sz=0 type=1\n";

TEST_F(HexReaderTest, DataRecordStoresItsBytesAndTracesItsRecordLine) {
  auto result = Load(std::string(":10000000000102030405060708090A0B0C0D0E0F78\n") + kEnd);
  EXPECT_EQ(Trace(), std::string(kStart) + "Adr=0 Sz=16 type=0\n" + kEndLine + "Прочитано 16 байт \n");
  for (int32_t i = 0; i < 16; ++i) EXPECT_EQ(m_Image[i], i);
  EXPECT_EQ(m_Image[16], 0xFF);
  EXPECT_EQ(result.BytesStored, 16);
  EXPECT_EQ(result.Records, 2);
  EXPECT_TRUE(result.FileRead);
  EXPECT_FALSE(result.Suspect());
}

TEST_F(HexReaderTest, ExtendedAddressRoutesARecordToTheConfigurationWords) {
  auto result =
      Load(Rec(4, 0, {0x00, 0x30}) + Rec(0, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0x10, 0x11, 0x12, 0x13, 0x14}) + kEnd);
  Spans expected = {
      {7, std::string(kStart) + "Adr=0 Sz=2 type=4\n"},
      {14, "BASE adr = 30\n"},
      {7, "Adr=0 Sz=14 type=0\n"},
      {11, "Adr = 300000 высокий, sz = 14\n"},
      {7, std::string("1  2  3  4  5  6  7  8  9  10  11  12  13  14  \n") + kEndLine + "Прочитано 0 байт \n"},
  };
  EXPECT_EQ(m_Sink->Spans(), expected);
  const uint8_t* config = m_Image.Slot(1);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(config[i], i + 1);
  EXPECT_EQ(config[9], 0x10);
  EXPECT_EQ(config[10], 0xFF);  // beyond the region's 10 bytes
  EXPECT_EQ(m_Image.Slot(2)[0], 0xFF);
  EXPECT_EQ(result.BytesStored, 0);
  EXPECT_EQ(result.RegionBytesStored, 10);
  EXPECT_EQ(result.DroppedBytes, 4);
  EXPECT_TRUE(result.Suspect());
  EXPECT_EQ(result.DamagedRecords, 0);
}

TEST_F(HexReaderTest, EndOfFileRecordIsTracedAndReadingGoesOn) {
  auto result = Load(":00000001FF\n:0100100042AD\n");
  EXPECT_EQ(Trace(), std::string(kStart) + "Adr=0 Sz=0 type=1\nAdr=10 Sz=1 type=0\nПрочитано 1 байт \n");
  EXPECT_EQ(m_Image[0x10], 0x42);
  EXPECT_EQ(result.Records, 2);
}

TEST_F(HexReaderTest, RecordRunningPastTheFlashEndDropsTheBytesBeyond) {
  auto result = Load(Rec(0, 0xFFFE, {0xA1, 0xA2, 0xA3, 0xA4}) + kEnd);
  EXPECT_EQ(Trace(), std::string(kStart) +
                         "Adr=FFFE Sz=4 type=0\n"
                         "Adr = 10000 вне диапазона \n"
                         "Adr = 10001 вне диапазона \n" +
                         kEndLine + "Прочитано 2 байт \n");
  EXPECT_EQ(m_Image[0xFFFE], 0xA1);
  EXPECT_EQ(m_Image[0xFFFF], 0xA2);
  EXPECT_EQ(m_Image.Slot(0)[0], 0xFF);  // not routed to a region
  EXPECT_EQ(result.BytesStored, 2);
  EXPECT_EQ(result.DroppedBytes, 2);
}

TEST_F(HexReaderTest, HighBaseGivesANegativeAddressAndTheRecordIsDropped) {
  auto result = Load(std::string(":0200000480007A\n:03001000010203E7\n") + kEnd);
  EXPECT_EQ(Trace(), std::string(kStart) +
                         "Adr=0 Sz=2 type=4\nBASE adr = 8000\n"
                         "Adr=10 Sz=3 type=0\nAdr = 80000010 вне диапазона, sz = 3\n" +
                         kEndLine + "Прочитано 0 байт \n");
  EXPECT_EQ(m_Image, FirmwareImage());
  EXPECT_EQ(result.DroppedBytes, 3);
}

TEST_F(HexReaderTest, BytesBetweenFlashAndTheRegionsAreDropped) {
  auto result = Load(Rec(4, 0, {0x00, 0x01}) + Rec(0, 0, {0xAB, 0xCD}) + kEnd);
  auto spans = m_Sink->Spans();
  ASSERT_EQ(spans.size(), 5u);
  EXPECT_EQ(spans[3], std::make_pair(11, std::string("Adr = 10000 высокий, sz = 2\n")));
  EXPECT_EQ(spans[4].second, std::string("AB  CD  \n") + kEndLine + "Прочитано 0 байт \n");
  EXPECT_EQ(m_Image, FirmwareImage());
  EXPECT_EQ(result.DroppedBytes, 2);
  EXPECT_EQ(result.RegionBytesStored, 0);
}

TEST_F(HexReaderTest, BaseStaysUntilTheNextExtendedAddressRecord) {
  auto result = Load(
      ":020000040020DA\n"
      ":0100000011EE\n"
      ":00000001FF\n"    // neither the end record ...
      ":0100050022D8\n"  // ... nor time changes the base
      ":020000040000FA\n"
      ":0100000033CC\n");
  EXPECT_EQ(m_Image.Slot(0)[0], 0x11);
  EXPECT_EQ(m_Image.Slot(0)[5], 0x22);
  EXPECT_EQ(m_Image[0], 0x33);
  EXPECT_EQ(result.BytesStored, 1);
  EXPECT_EQ(result.RegionBytesStored, 2);
}

TEST_F(HexReaderTest, ExtendedAddressWithAnotherCountChangesNothing) {
  auto result = Load(Rec(4, 0, {0x00, 0x30}) + Rec(4, 0, {0x00, 0x20, 0x00}) + Rec(0, 0, {0x55}));
  EXPECT_EQ(m_Image.Slot(1)[0], 0x55);
  EXPECT_EQ(Trace().find("BASE adr = 20"), std::string::npos);
  EXPECT_EQ(result.DamagedRecords, 0);
}

TEST_F(HexReaderTest, LaterRecordsOverwriteAndCountAgain) {
  auto result = Load(":0100100011DE\n:0100100022CD\n");
  EXPECT_EQ(m_Image[0x10], 0x22);
  EXPECT_EQ(result.BytesStored, 2);
}

TEST_F(HexReaderTest, DamagedRecordsStillLoadButAreWarnedAboutByLine) {
  auto result = Load(
      "; built by hand\n"
      ":0100100011DF\n"  // checksum off by one
      ":0300200001G203B7\n"
      ":04003000AABB\n"
      ":0100400011AE 12\n"
      ":01005000119E \t\n"  // blanks after the checksum are harmless
      ":00000001FF\n");
  EXPECT_EQ(m_Image[0x10], 0x11);
  EXPECT_EQ(m_Image[0x20], 0x01);
  EXPECT_EQ(m_Image[0x21], 0xFF);  // "G2" reads as 0xFF
  EXPECT_EQ(m_Image[0x22], 0x03);
  EXPECT_EQ(m_Image[0x30], 0xAA);
  EXPECT_EQ(m_Image[0x31], 0xBB);
  EXPECT_EQ(m_Image[0x32], 0xFF);  // missing pairs read as 0xFF and are stored
  EXPECT_EQ(m_Image[0x40], 0x11);
  EXPECT_EQ(result.BytesStored, 10);
  EXPECT_EQ(result.DamagedRecords, 4);
  EXPECT_EQ(result.FirstDamagedLine, 2);
  EXPECT_EQ(result.FirstFault, HexFault::BadChecksum);
  EXPECT_EQ(result.FirstDamage, "неверная контрольная сумма");
  EXPECT_TRUE(result.Suspect());

  std::vector<std::string> warnings;
  for (const auto& [color, text] : m_Sink->Spans())
    if (color == kColorWarning) warnings.push_back(text);
  EXPECT_EQ(warnings,
            (std::vector<std::string>{"Строка 2: неверная контрольная сумма, запись загружена как есть \n",
                                      "Строка 3: не шестнадцатеричные цифры, запись загружена как есть \n",
                                      "Строка 4: строка короче длины записи, запись загружена как есть \n",
                                      "Строка 5: строка длиннее длины записи, запись загружена как есть \n"}));
  // Each warning follows the lines of its own record.
  const std::string trace = Trace();
  EXPECT_LT(trace.find("Adr=10 Sz=1"), trace.find("Строка 2"));
  EXPECT_LT(trace.find("Строка 2"), trace.find("Adr=20 Sz=3"));
}

TEST_F(HexReaderTest, RecordWithoutAnyDigitsIsShort) {
  auto result = Load(std::string(":\n:0\n") + kEnd);
  EXPECT_EQ(result.DamagedRecords, 2);
  EXPECT_EQ(result.FirstFault, HexFault::ShortLine);
  EXPECT_EQ(Trace(), std::string(kStart) +
                         "Adr=FFFF Sz=255 type=FF\n"
                         "Строка 1: строка короче длины записи, запись загружена как есть \n"
                         "Adr=FFFF Sz=255 type=FF\n"
                         "Строка 2: строка короче длины записи, запись загружена как есть \n" +
                         kEndLine + "Прочитано 0 байт \n");
}

TEST_F(HexReaderTest, PairsReadEitherCaseAndAnythingElseAsFF) {
  size_t cursor = 0;
  EXPECT_EQ(ReadHexByte("aB", cursor), 0xAB);
  EXPECT_EQ(cursor, 2u);
  for (std::string_view bad : {"G0", "0g", " 1", "1 ", "\n0", "-1", "0x"}) {
    cursor = 0;
    EXPECT_EQ(ReadHexByte(bad, cursor), 0xFF) << bad;
    EXPECT_EQ(cursor, 2u);
  }
  cursor = 3;  // runs past the end: one character left, then none
  EXPECT_EQ(ReadHexByte("0012", cursor), 0xFF);
  EXPECT_EQ(cursor, 5u);
  EXPECT_EQ(ReadHexByte("0012", cursor), 0xFF);
  EXPECT_EQ(cursor, 7u);

  Load(":0100100011de\n");
  EXPECT_EQ(m_Image[0x10], 0x11);
}

TEST_F(HexReaderTest, RecordBytesAreThePairsAsReadHexByteReadsThem) {
  // Lines of digits of either case with stray characters in between; each
  // data byte must be what ReadHexByte makes of its pair.
  std::mt19937 random(42);
  const std::string alphabet = "0123456789abcdefABCDEF0123456789gG :\x80\xff";
  for (int round = 0; round < 300; ++round) {
    std::string line = ":10";
    line += "0000";                           // offset 0
    line += "00";                             // data record
    const size_t length = 32 + random() % 8;  // at times a pair short
    for (size_t i = 0; i < length; ++i) {
      const bool stray = random() % 40 == 0;
      line += stray ? alphabet[random() % alphabet.size()] : alphabet[random() % 22];
    }
    Load(line + "\n");
    for (size_t j = 0; j < 16; ++j) {
      size_t cursor = 9 + 2 * j;
      ASSERT_EQ(m_Image[static_cast<int32_t>(j)], ReadHexByte(line, cursor)) << line << " byte " << j;
    }
    m_Sink->Clear();
  }
}

// The verdict on a full-length record, worked out pair by pair.
HexFault ExpectedFault(const std::string& line) {
  const size_t length = 1 + 2 * 21;
  unsigned sum = 0;
  for (size_t at = 1; at < length; at += 2) {
    size_t cursor = at;
    const bool hex =
        std::isxdigit(static_cast<unsigned char>(line[at])) && std::isxdigit(static_cast<unsigned char>(line[at + 1]));
    if (!hex) return HexFault::NonHexDigits;
    sum += ReadHexByte(line, cursor);
  }
  if ((sum & 0xFF) != 0) return HexFault::BadChecksum;
  return line.size() > length ? HexFault::LongLine : HexFault::None;
}

TEST_F(HexReaderTest, FullRecordsAreJudgedAsTheirPairsSay) {
  // Random 16-byte records with their right checksum, in either case; two in
  // three then have one character after the count changed: to another digit,
  // a letter of the other case or a character that is no digit.
  std::mt19937 random(9);
  const std::string changes = "0123456789abcdefABCDEFgG :\x80\xff";
  for (int round = 0; round < 2000; ++round) {
    std::vector<int> data(16);
    for (int& byte : data) byte = static_cast<int>(random() % 256);
    std::string line = Rec(0, static_cast<int>(random() % 0x10000), data);
    line.pop_back();  // the line end
    if (random() % 2 == 0) {
      for (char& c : line)
        if (random() % 3 == 0) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (random() % 3 != 0) line[3 + random() % 40] = changes[random() % changes.size()];
    if (random() % 10 == 0) line += "0";
    const HexFault expected = ExpectedFault(line);
    auto result = Load(line + "\n");
    ASSERT_EQ(result.FirstFault, expected) << line;
    ASSERT_EQ(result.DamagedRecords, expected == HexFault::None ? 0 : 1) << line;
    m_Sink->Clear();
  }
}

// A long load's trace is held back and sent in runs: lines must keep their
// order and colours across runs, whatever their lengths.
TEST_F(HexReaderTest, LongTraceKeepsItsOrderAndColours) {
  std::string text;
  Spans expected = {{7, kStart}};
  auto normal = [&expected](const std::string& line) {
    if (expected.back().first == 7)
      expected.back().second += line;
    else
      expected.emplace_back(7, line);
  };
  int stored = 0;
  for (int i = 0; i < 600; ++i) {
    if (i % 97 == 0) {
      // A full region record: the trace's longest line.
      text += Rec(4, 0, {0x00, 0x30});
      normal("Adr=0 Sz=2 type=4\n");
      expected.emplace_back(14, "BASE adr = 30\n");
      text += Rec(0, 0, std::vector<int>(255, 0xAB));
      normal("Adr=0 Sz=255 type=0\n");
      expected.emplace_back(11, "Adr = 300000 высокий, sz = 255\n");
      std::string bytes;
      for (int j = 0; j < 255; ++j) bytes += "AB  ";
      normal(bytes + "\n");
      text += Rec(4, 0, {0x00, 0x00});
      normal("Adr=0 Sz=2 type=4\n");
      expected.emplace_back(14, "BASE adr = 0\n");
    }
    const int offset = (i * 16) % 0x10000;
    text += Rec(0, offset, std::vector<int>(static_cast<size_t>(1 + i % 16), i % 256));
    char line[64];
    std::snprintf(line, sizeof line, "Adr=%X Sz=%d type=0\n", offset, 1 + i % 16);
    normal(line);
    stored += 1 + i % 16;
    if (i % 131 == 0) {
      text += ":0100000000FE\n";  // checksum off by one
      normal("Adr=0 Sz=1 type=0\n");
      const int lineNumber = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
      expected.emplace_back(
          12, "Строка " + std::to_string(lineNumber) + ": неверная контрольная сумма, запись загружена как есть \n");
      ++stored;
    }
  }
  text += kEnd;
  normal(kEndLine);
  normal("Прочитано " + std::to_string(stored) + " байт \n");
  Load(text);
  const Spans spans = m_Sink->Spans();
  ASSERT_EQ(spans.size(), expected.size());
  for (size_t i = 0; i < spans.size(); ++i) EXPECT_EQ(spans[i], expected[i]) << "span " << i;
}

TEST_F(HexReaderTest, FileWithoutRecordsLeavesTheImageBlank) {
  for (const char* text : {"", "\n\n", "10000000FF\n  \n# :00000001FF\n"}) {
    m_Sink->Clear();
    m_Image[5] = 0;
    auto result = Load(text);
    EXPECT_EQ(m_Image, FirmwareImage());
    EXPECT_EQ(Trace(), std::string(kStart) + "Прочитано 0 байт \n");
    EXPECT_EQ(result.Records, 0);
  }
}

TEST_F(HexReaderTest, LineEndsOfAnyKindAndAMissingLastOne) {
  Load(":0100100011DE\r\n:00000001FF\r\n");
  const std::string crlf = Trace();
  m_Sink->Clear();
  Load(":0100100011DE\n:00000001FF");
  EXPECT_EQ(Trace(), crlf);
  EXPECT_EQ(crlf, std::string(kStart) + "Adr=10 Sz=1 type=0\nAdr=0 Sz=0 type=1\nПрочитано 1 байт \n");
}

TEST_F(HexReaderTest, LongLinesAreReadInPiecesOfTheirOwn) {
  const std::string pad(kHexLinePieceSize, ' ');
  std::string text;
  text += pad + ":0100100011DE\n";  // the second piece starts with ':'
  std::string two = ":0100200011CE";
  two += std::string(kHexLinePieceSize - two.size(), ' ') + ":0100210011CD\n";
  text += two;                                                          // two records on one line
  text += std::string(kHexLinePieceSize - 5, ' ') + ":0100300011BE\n";  // cut by a piece end
  text += Rec(0, 0x50, {0x22});
  auto result = Load(text);
  EXPECT_EQ(m_Image[0x10], 0x11);
  EXPECT_EQ(m_Image[0x20], 0x11);
  EXPECT_EQ(m_Image[0x21], 0x11);
  EXPECT_EQ(m_Image[0x30], 0xFF);
  EXPECT_EQ(m_Image[0x50], 0x22);
  // The record cut by the piece end is no silent loss: it is damage.
  EXPECT_EQ(result.Records, 5);
  EXPECT_EQ(result.DamagedRecords, 1);
  EXPECT_EQ(result.FirstFault, HexFault::ShortLine);
}

// What stands before a colon: a byte-order mark at the start of the file is
// harmless (as Notepad saves); blanks, NULs or a later mark leave the record
// loaded but damaged, never silently dropped.
TEST_F(HexReaderTest, RecordsBehindAByteOrderMarkBlanksOrNulsAreLoaded) {
  const std::string bom = "\xEF\xBB\xBF";
  auto clean = Load(bom + Rec(0, 0x400, {0x20, 0xEF}) + kEnd);
  EXPECT_EQ(m_Image[0x400], 0x20);
  EXPECT_EQ(clean.BytesStored, 2);
  EXPECT_FALSE(clean.Suspect());

  for (const std::string& before : {std::string("  "), std::string("\t"), std::string(1, '\0'), bom}) {
    m_Sink->Clear();
    auto result = Load(Rec(0, 0x10, {1}) + before + Rec(0, 0x400, {0x20, 0xEF}) + kEnd);
    EXPECT_EQ(m_Image[0x400], 0x20);
    EXPECT_EQ(result.BytesStored, 3);
    EXPECT_EQ(result.DamagedRecords, 1);
    EXPECT_EQ(result.FirstDamagedLine, 2);
    EXPECT_EQ(result.FirstFault, HexFault::LeadingBlanks);
    EXPECT_TRUE(result.Suspect());
    EXPECT_NE(Trace().find("Строка 2: перед записью пробелы или нулевые байты, запись загружена как есть \n"),
              std::string::npos);
  }
}

// Type 02 and 03 records are not followed: with a value other than zero the
// data they place lands elsewhere, so the file is suspect; zero is harmless.
TEST_F(HexReaderTest, SegmentAddressesOtherThanZeroAreDamage) {
  auto zero = Load(Rec(2, 0, {0, 0}) + Rec(3, 0, {0, 0, 0, 0}) + Rec(0, 0x10, {1}) + kEnd);
  EXPECT_EQ(zero.DamagedRecords, 0);
  for (const std::string& record : {Rec(2, 0, {0x10, 0x00}), Rec(3, 0, {0, 0, 0x01, 0x00})}) {
    auto result = Load(record + Rec(0, 0x10, {1}) + kEnd);
    EXPECT_EQ(m_Image[0x10], 1);  // still where the reader puts it
    EXPECT_EQ(result.FirstFault, HexFault::SegmentAddress);
    EXPECT_TRUE(result.Suspect());
  }
}

// Data for the data EEPROM (where XC8 puts __EEPROM_DATA) is no damage: it is
// counted and named, and the file is not suspect for it. Data beyond this
// device's memory (a build for a bigger chip) is what makes a file suspect,
// and the words say so.
TEST_F(HexReaderTest, EepromDataIsNotedAndDataOutsideTheDeviceIsSuspect) {
  auto eeprom = Load(Rec(0, 0x400, {1}) + Rec(4, 0, {0x00, 0x31}) + Rec(0, 0x03FE, {1, 2, 3}) + kEnd);
  EXPECT_EQ(eeprom.EepromBytes, 2);
  EXPECT_EQ(eeprom.DroppedBytes, 1);  // 0x310400 is past the EEPROM's end
  auto inside = Load(Rec(0, 0x400, {1}) + Rec(4, 0, {0x00, 0x31}) + Rec(0, 0, {1, 2}) + kEnd);
  EXPECT_EQ(inside.EepromBytes, 2);
  EXPECT_FALSE(inside.Suspect());
  EXPECT_TRUE(DamageDescription(inside).empty());
  EXPECT_EQ(EepromNote(inside),
            "В файле есть данные для EEPROM (2 байт): монитор их не записывает, EEPROM модуля не изменится.");

  auto bigger = Load(Rec(0, 0x400, {1}) + Rec(4, 0, {0x00, 0x01}) + Rec(0, 0, {1, 2, 3, 4}) + kEnd);
  EXPECT_TRUE(bigger.Suspect());
  EXPECT_EQ(SuspectFileText(bigger),
            "HEX-файл вызывает сомнения: данные вне памяти этого микроконтроллера (4 байт), файл может быть для "
            "другого МК.");
  EXPECT_TRUE(EepromNote(bigger).empty());
}

TEST_F(HexReaderTest, WarningsNameThePhysicalLineOfAPiece) {
  std::string text = "\n" + std::string(kHexLinePieceSize, ' ') + ":0100100011DF\n";
  auto result = Load(text);
  EXPECT_EQ(m_Image[0x10], 0x11);
  EXPECT_EQ(result.FirstDamagedLine, 2);
  EXPECT_EQ(result.FirstFault, HexFault::BadChecksum);
}

TEST_F(HexReaderTest, RegionRecordAtTheTopOfTheAddressRangeDoesNotWrap) {
  auto result = Load(Rec(4, 0, {0x7F, 0xFF}) + Rec(0, 0xFFFE, {1, 2, 3, 4}));
  EXPECT_EQ(m_Image, FirmwareImage());
  EXPECT_EQ(result.DroppedBytes, 4);
  EXPECT_EQ(result.DamagedRecords, 0);
}

TEST_F(HexReaderTest, UnreadableFileIsReportedAndLeavesTheImageCleared) {
  m_Image[0] = 0;
  const std::string missing = (std::filesystem::temp_directory_path() / "tolvane-no-such-dir" / "x.hex").string();
  auto result = LoadHexFile(missing, m_Image);
  EXPECT_FALSE(result.FileRead);
  EXPECT_EQ(result.OpenError, std::error_code(ENOENT, std::generic_category()).message());
  EXPECT_EQ(m_Image, FirmwareImage());
  Spans expected = {{7, kStart}, {12, "Не удалось открыть файл " + missing + ": " + result.OpenError + " \n"}};
  EXPECT_EQ(m_Sink->Spans(), expected);
}

TEST_F(HexReaderTest, FileCutShortIsSuspectAndDosEndsAreNot) {
  auto cut = Load(Rec(0, 0x10, {0x11}));
  EXPECT_TRUE(cut.MissingEndRecord());
  EXPECT_TRUE(cut.Suspect());
  Spans expected = {{7, std::string(kStart) + "Adr=10 Sz=1 type=0\n"},
                    {12, "Файл кончается без записи конца файла, он может быть обрезан \n"},
                    {7, "Прочитано 1 байт \n"}};
  EXPECT_EQ(m_Sink->Spans(), expected);
  EXPECT_EQ(DamageDescription(cut), "нет записи конца файла, файл может быть обрезан.");

  // The end-of-file character of DOS tools and trailing blanks are harmless.
  for (const char* end : {":00000001FF\x1A", ":00000001FF\x1A\n", ":00000001FF\r\n\x1A", ":00000001FF \t\r\n\x1A\n"}) {
    auto whole = Load(Rec(0, 0x10, {0x11}) + end);
    EXPECT_FALSE(whole.Suspect()) << end;
    EXPECT_EQ(whole.DamagedRecords, 0) << end;
    EXPECT_TRUE(DamageDescription(whole).empty());
  }
}

TEST_F(HexReaderTest, InputsThatAreNoFirmwareFileAreRefusedWithoutReadingThemWhole) {
  const std::filesystem::path dir = std::filesystem::path(WriteScratch("probe.hex", "")).parent_path();
  const std::string sparse = WriteScratch("sparse.hex", ":0100100011DE\n");
  std::filesystem::resize_file(sparse, kMaxHexFileBytes + 1);  // one byte over, no block stored
  const std::string tooLarge = std::make_error_code(std::errc::file_too_large).message();
  const struct {
    std::string path;
    std::string error;
  } cases[] = {{dir.string(), std::make_error_code(std::errc::is_a_directory).message()},
               {sparse, tooLarge},
               {"/dev/zero", tooLarge}};
  for (const auto& c : cases) {
    m_Image[0] = 0;
    auto result = LoadHexFile(c.path, m_Image);
    EXPECT_FALSE(result.FileRead) << c.path;
    EXPECT_EQ(result.OpenError, c.error) << c.path;
    EXPECT_EQ(result.BytesStored, 0) << c.path;
    EXPECT_EQ(m_Image, FirmwareImage()) << c.path;
  }
}

TEST_F(HexReaderTest, FileReadInChunksLoadsAsItsWholeText) {
  // Long lines and records across the reader's chunk boundaries.
  std::string text;
  for (int i = 0; text.size() < 300000; ++i) {
    // No padding, padding that ends a piece (the record starts the next
    // one), or padding that cuts the record.
    const size_t pad = i % 3 == 0   ? 0
                       : i % 3 == 1 ? kHexLinePieceSize * static_cast<size_t>(1 + i % 4)
                                    : static_cast<size_t>(i * 977) % (3 * kHexLinePieceSize);
    std::string record = Rec(0, (i * 16) & 0xFFFF, {i & 0xFF, 1, 2, 3});
    record.pop_back();
    if (i % 7 == 5) record.back() = record.back() == '0' ? '1' : '0';  // a bad checksum
    text += std::string(pad, ' ') + record + (i % 2 ? "\r\n" : "\n");
  }
  text += ":00000001FF";
  FirmwareImage whole;
  const HexLoadResult expected = LoadHexText(text, whole);
  const std::string expectedTrace = Trace();
  m_Sink->Clear();
  const HexLoadResult result = LoadHexFile(WriteScratch("chunks.hex", text), m_Image);
  EXPECT_EQ(Trace(), expectedTrace);
  EXPECT_EQ(m_Image, whole);
  EXPECT_EQ(result.Records, expected.Records);
  EXPECT_EQ(result.DamagedRecords, expected.DamagedRecords);
  EXPECT_EQ(result.FirstDamagedLine, expected.FirstDamagedLine);
}

TEST_F(HexReaderTest, EachFileLoadsIntoACleanImage) {
  const std::string big =
      WriteScratch("big.hex", ":020000040030CA\n:0100000012ED\n:020000040000FA\n:0400000001020304F2\n");
  const std::string small = WriteScratch("small.hex", ":0100000042BD\n");
  LoadHexFile(big, m_Image);
  EXPECT_EQ(m_Image.Slot(1)[0], 0x12);
  auto result = LoadHexFile(small, m_Image);
  FirmwareImage expected;
  expected[0] = 0x42;
  EXPECT_EQ(m_Image, expected);
  EXPECT_TRUE(result.FileRead);
  EXPECT_EQ(result.BytesStored, 1);
}

}  // namespace
}  // namespace tolvane
