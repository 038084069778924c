// tolvane-cli load as a user runs it: exit codes, summary, outputs, trace.
#include "image/firmware_image.h"
#include "image/hex_reader.h"
#include "cli_process.h"
#include "log_capture.h"

#include <algorithm>
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

TEST_F(CliLoadTest, SuspectFileExitsWithFourButIsStillWritten) {
  const std::string bin = WriteScratch("suspect.bin", "");
  EXPECT_EQ(Run("load " + m_Damaged + " -o " + bin), 4);
  EXPECT_NE(m_Out.find("damaged records: 1 (first on line 2: bad checksum)"), std::string::npos) << m_Out;
  EXPECT_EQ(ReadAll(bin).size(), static_cast<size_t>(kImageSize));
  EXPECT_EQ(static_cast<uint8_t>(ReadAll(bin)[0x10]), 0x11);
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
  EXPECT_EQ(Run("load " + m_Good + " -o out.txt"), 2);
  EXPECT_NE(m_Err.find(".hex or .bin"), std::string::npos) << m_Err;
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
