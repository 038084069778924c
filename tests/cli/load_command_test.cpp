// tolvane-cli load as a user runs it: exit codes, summary, outputs, trace.
#include "image/firmware_image.h"
#include "image/hex_reader.h"
#include "cli_process.h"
#include "log_capture.h"

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace tolvane {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CliLoadTest : public test::LogCaptureTest {
 protected:
  // Runs tolvane-cli with the arguments (split at blanks); returns its exit code.
  int Run(const std::string& args) {
    std::vector<std::string> words;
    std::istringstream in(args);
    for (std::string word; in >> word;) words.push_back(word);
    test::CliRun run = test::RunCli(words);
    m_Out = run.Out;
    m_Err = run.Err;
    return run.ExitCode;
  }

  std::string m_Out, m_Err;
  const std::string m_Good = WriteScratch("good.hex", ":0100100011DE\n:020000040030CA\n:0100000042BD\n:00000001FF\n");
  const std::string m_Damaged = WriteScratch("damaged.hex", "\n:0100100011DF\n:00000001FF\n");
};

TEST_F(CliLoadTest, GoodFileSumsUpAndWritesBothOutputKinds) {
  const std::string hex = WriteScratch("out.hex", "");
  ASSERT_EQ(Run("load " + m_Good + " -o " + hex), 0) << m_Err;
  EXPECT_NE(m_Out.find("bytes stored: 2 (program flash 1, regions 1)"), std::string::npos) << m_Out;
  EXPECT_NE(m_Out.find("records: 4"), std::string::npos);
  EXPECT_NE(m_Out.find("damaged records: 0"), std::string::npos);
  EXPECT_NE(m_Out.find("dropped bytes: 0"), std::string::npos);
  EXPECT_EQ(m_Err, "");  // no trace without -v
  FirmwareImage expected, written;
  LoadHexFile(m_Good, expected);
  LoadHexFile(hex, written);
  EXPECT_EQ(written, expected);

  const std::string bin = WriteScratch("out.BIN", "");
  ASSERT_EQ(Run("load " + m_Good + " --output " + bin), 0) << m_Err;
  const std::string raw = ReadAll(bin);
  ASSERT_EQ(raw.size(), static_cast<size_t>(kImageSize));
  EXPECT_EQ(raw.compare(0, static_cast<size_t>(kImageSize), reinterpret_cast<const char*>(expected.Data()),
                        static_cast<size_t>(kImageSize)),
            0);
}

// Written out, a suspect file would look whole and be written to a device
// without a question: -o takes it only with --force.
TEST_F(CliLoadTest, SuspectFileIsWrittenOutOnlyWithForce) {
  const std::string bin = WriteScratch("suspect.bin", "kept");
  EXPECT_EQ(Run("load " + m_Damaged + " -o " + bin), 4);
  EXPECT_NE(m_Out.find("damaged records: 1 (first on line 2: bad checksum)"), std::string::npos) << m_Out;
  EXPECT_NE(m_Err.find("suspect (give --force"), std::string::npos) << m_Err;
  EXPECT_EQ(ReadAll(bin), "kept");
  EXPECT_EQ(Run("load " + m_Damaged + " -o " + bin + " --force"), 4);
  EXPECT_EQ(ReadAll(bin).size(), static_cast<size_t>(kImageSize));
  EXPECT_EQ(static_cast<uint8_t>(ReadAll(bin)[0x10]), 0x11);
}

// An output is complete or the old file stays: it is written beside and
// renamed. A link is followed; a device and the input itself are never an
// output.
TEST_F(CliLoadTest, OutputsAreWholeOrLeaveTheOldFile) {
  const std::string out = WriteScratch("old.bin", "good earlier output");
  struct rlimit before {};
  getrlimit(RLIMIT_FSIZE, &before);
  struct rlimit small = before;
  small.rlim_cur = 4096;  // the summary fits, the 66048-byte image does not
  std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  const int full = Run("load " + m_Good + " -o " + out);
  setrlimit(RLIMIT_FSIZE, &before);
  EXPECT_EQ(full, 4);
  EXPECT_NE(m_Err.find("cannot write"), std::string::npos) << m_Err;
  EXPECT_EQ(ReadAll(out), "good earlier output");
  const auto dir = std::filesystem::path(out).parent_path();
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();

  const std::string link = (dir / "link.hex").string();
  const std::string target = WriteScratch("target.hex", "");
  std::filesystem::create_symlink(target, link);
  ASSERT_EQ(Run("load " + m_Good + " -o " + link), 0) << m_Err;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  FirmwareImage written;
  LoadHexFile(target, written);
  EXPECT_EQ(written[0x10], 0x11);
  const std::string device = (dir / "null.hex").string();
  std::filesystem::create_symlink("/dev/null", device);
  EXPECT_EQ(Run("load " + m_Good + " -o " + device), 2) << m_Err;
  EXPECT_NE(m_Err.find("is no regular file"), std::string::npos) << m_Err;
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
  std::filesystem::remove(device);
  EXPECT_EQ(Run("load " + m_Good + " -o " + m_Good), 2);
  EXPECT_NE(m_Err.find("is the command's own file"), std::string::npos) << m_Err;
  EXPECT_EQ(Run("load " + target + " -o " + link), 2);
  std::filesystem::remove(link);
}

TEST_F(CliLoadTest, UnreadableFileExitsWithFourAndWritesNothing) {
  const auto dir = std::filesystem::temp_directory_path() / "tolvane-no-such-dir";
  const std::string out = (dir / "out.bin").string();
  EXPECT_EQ(Run("load " + (dir / "in.hex").string() + " -o " + out), 4);
  EXPECT_NE(m_Err.find("cannot read"), std::string::npos) << m_Err;
  EXPECT_NE(m_Err.find("No such file or directory"), std::string::npos) << m_Err;
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(CliLoadTest, FilesWithNothingToWriteOrThatAreNoFilesExitWithFour) {
  const std::string out = WriteScratch("none.bin", "kept");
  for (const std::string& content : {std::string(), std::string("notes\n"), std::string(kImageSize, '\xFF')}) {
    EXPECT_EQ(Run("load " + WriteScratch("nothing.txt", content) + " -o " + out), 4);
    EXPECT_NE(m_Out.find("nothing to write"), std::string::npos) << m_Out;
    EXPECT_EQ(ReadAll(out), "kept");  // a blank image is not written over an output
  }
  const std::string cut = WriteScratch("cut.hex", ":0100100011DE\n");
  EXPECT_EQ(Run("load " + cut), 4);
  EXPECT_NE(m_Out.find("no end-of-file record"), std::string::npos) << m_Out;

  EXPECT_EQ(Run("load " + std::filesystem::temp_directory_path().string()), 4);
  EXPECT_NE(m_Err.find("Is a directory"), std::string::npos) << m_Err;
  EXPECT_EQ(Run("load /dev/zero"), 4);
  EXPECT_NE(m_Err.find("File too large"), std::string::npos) << m_Err;
}

TEST_F(CliLoadTest, BadCommandLinesAreUsageErrors) {
  EXPECT_EQ(Run("load"), 2);
  for (const char* name : {"out.txt", "out", "out.ihex", "hex"}) {
    EXPECT_EQ(Run("load " + m_Good + " -o " + name), 2) << name;
    EXPECT_NE(m_Err.find("must end in .hex (Intel HEX) or .bin"), std::string::npos) << m_Err;
  }
  EXPECT_EQ(Run("load " + m_Good + " --no-such-flag"), 2);
}

TEST_F(CliLoadTest, DumpOwnsStdoutAndVerboseTracesTheLoad) {
  ASSERT_EQ(Run("load " + m_Good + " --dump -v"), 0);
  EXPECT_EQ(m_Out.substr(0, 65), "0000    ffff  ffff  ffff  ffff  ffff  ffff  ffff  ffff  \n0010    ");
  EXPECT_EQ(m_Out.find('\033'), std::string::npos);  // not a terminal: no marks
  EXPECT_EQ(m_Out.find('\r'), std::string::npos);
  EXPECT_EQ(std::count(m_Out.begin(), m_Out.end(), '\n'), 4096 + 12);
  EXPECT_NE(m_Out.find("300000    42  ff"), std::string::npos);
  EXPECT_NE(m_Err.find("Читаю HEX - файл \nAdr=10 Sz=1 type=0\n"), std::string::npos) << m_Err;
  EXPECT_NE(m_Err.find("bytes stored: 2"), std::string::npos);
}

}  // namespace
}  // namespace tolvane
