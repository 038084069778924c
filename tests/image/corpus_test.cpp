// Third-party HEX files: every one loads, damaged ones are flagged, and real
// PIC18 builds give the same bytes as an independent reader (srec_cat).
#include "image/hex_reader.h"
#include "log_capture.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace tolvane {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpora = TOLVANE_CORPORA_DIR;
const fs::path kExamples = TOLVANE_EXAMPLES_DIR;

// Files whose records are damaged, with the fault of the first one. A
// segment address (type 02 or 03) that is not zero would put the data
// elsewhere: such files are flagged too.
const std::map<std::string, HexFault> kDamaged = {
    {"bincopy__i16hex_out_record_crosses_64k.hex", HexFault::SegmentAddress},
    {"bincopy__i16hex_segments.hex", HexFault::SegmentAddress},
    {"intelhex__dup_start_segment.hex", HexFault::SegmentAddress},
    {"intelhex__rectype3.hex", HexFault::SegmentAddress},
    {"rust-ihex__esa_mixedcase.hex", HexFault::SegmentAddress},
    {"rust-ihex__well_formed_all_types.hex", HexFault::SegmentAddress},
    {"bincopy__bad_crc.hex", HexFault::BadChecksum},
    {"intelhex__bad_checksum.hex", HexFault::BadChecksum},
    {"intelhex__len_ff_no_data.hex", HexFault::ShortLine},
    {"intelhex__odd_digits.hex", HexFault::ShortLine},
    {"intelhex__short_colon.hex", HexFault::ShortLine},
    {"rust-ihex__bad_checksum_data.hex", HexFault::BadChecksum},
    {"rust-ihex__bad_checksum_ela.hex", HexFault::BadChecksum},
    {"rust-ihex__eof_len1_nodata.hex", HexFault::ShortLine},
    {"rust-ihex__len_mismatch_long.hex", HexFault::ShortLine},
    {"rust-ihex__len_mismatch_zero.hex", HexFault::BadChecksum},
    {"rust-ihex__nonhex_caret.hex", HexFault::NonHexDigits},
    {"rust-ihex__nonhex_q.hex", HexFault::NonHexDigits},
    {"rust-ihex__nonhex_utf8.hex", HexFault::NonHexDigits},
    {"rust-ihex__odd_len_data.hex", HexFault::LongLine},
    {"rust-ihex__odd_len_eof.hex", HexFault::LongLine},
    {"rust-ihex__short_00.hex", HexFault::ShortLine},
    {"rust-ihex__short_9digits.hex", HexFault::ShortLine},
};

std::vector<fs::path> HexFilesIn(const fs::path& dir) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec))
    if (entry.path().extension() == ".hex") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

class CorpusTest : public test::LogCaptureTest {
 protected:
  void SetUp() override {
    test::LogCaptureTest::SetUp();
    if (!fs::is_directory(kCorpora)) GTEST_SKIP() << "no corpora at " << kCorpora;
  }
};

TEST_F(CorpusTest, EveryFileLoadsAndExactlyTheDamagedOnesAreFlagged) {
  size_t files = 0, flagged = 0;
  for (const char* dir : {"ihex/files", "ihex/vectors", "pic18"}) {
    for (const fs::path& path : HexFilesIn(kCorpora / dir)) {
      ++files;
      FirmwareImage image;
      const HexLoadResult result = LoadHexFile(path.string(), image);
      const std::string name = path.filename().string();
      EXPECT_TRUE(result.FileRead) << name;
      const auto damaged = kDamaged.find(name);
      if (damaged == kDamaged.end()) {
        EXPECT_EQ(result.DamagedRecords, 0) << name << ": line " << result.FirstDamagedLine;
      } else {
        ++flagged;
        EXPECT_GT(result.DamagedRecords, 0) << name;
        EXPECT_EQ(result.FirstFault, damaged->second) << name;
        EXPECT_TRUE(result.Suspect()) << name;
      }
      m_Sink->Clear();
    }
  }
  EXPECT_GE(files, 60u);
  EXPECT_EQ(flagged, kDamaged.size());
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What srec_cat reads at [start, start + size) of the file, gaps as 0xFF.
std::string SrecCatBytes(const fs::path& file, uint32_t start, uint32_t size, const fs::path& out) {
  const std::string command = "srec_cat '" + file.string() + "' -intel -crop " + std::to_string(start) + " " +
                              std::to_string(start + size) + " -offset -" + std::to_string(start) + " -fill 0xFF 0 " +
                              std::to_string(size) + " -o '" + out.string() + "' -binary 2>/dev/null";
  if (std::system(command.c_str()) != 0) return {};
  return ReadAll(out);
}

TEST_F(CorpusTest, RealBuildsMatchAnIndependentReader) {
  if (std::system("srec_cat -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "srec_cat is not installed";
  const fs::path out = WriteScratch("srec.bin", "");
  std::vector<fs::path> files = HexFilesIn(kCorpora / "pic18");
  files.push_back(kExamples / "demo-firmware.hex");
  ASSERT_GE(files.size(), 3u);
  for (const fs::path& path : files) {
    FirmwareImage image;
    LoadHexFile(path.string(), image);
    const std::string name = path.filename().string();
    const auto ours = [&](int32_t offset, int32_t size) {
      return std::string(reinterpret_cast<const char*>(image.Data()) + offset, static_cast<size_t>(size));
    };
    EXPECT_EQ(ours(0, kFlashSize), SrecCatBytes(path, 0, kFlashSize, out)) << name << ": flash";
    for (int32_t k = 0; k < kVerifiedRegionCount; ++k) {
      const MemoryRegion& region = MemoryRegions[static_cast<size_t>(k)];
      EXPECT_EQ(ours(RegionSlotOffset(k), region.Size),
                SrecCatBytes(path, static_cast<uint32_t>(region.Start), static_cast<uint32_t>(region.Size), out))
          << name << ": " << region.Name;
    }
    m_Sink->Clear();
  }
}

}  // namespace
}  // namespace tolvane
