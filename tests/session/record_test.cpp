// The record of a run and its files: the fields as stored files and scripts
// know them, a file of an earlier version carried forward, another's
// refused, and the documentation's list held against the fields.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include <nlohmann/json.hpp>

#include "log_capture.h"
#include "session/device_record.h"
#include "session/exit_codes.h"

namespace tolvane {
namespace {

class RecordTest : public test::LogCaptureTest {};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string FieldNames() {
  std::string names;
  const nlohmann::ordered_json fields = RecordJson({});
  for (const auto& field : fields.items()) {
    if (!names.empty()) names += ',';
    names += field.key();
  }
  return names;
}

// Stored reports and scripts read these columns: changing them is a
// decision to make here, in the open. New fields go at the end only.
constexpr const char* kTodaysColumns =
    "time,host,port,file,sha256,unique_id,device_id,revision_id,kind,verdict,reason,blocks_written,"
    "blocks_already_right,blocks_protected,mismatches_user,mismatches_monitor,mismatches_configuration,seconds,"
    "exit_code";

TEST_F(RecordTest, TheColumnsAreTodays) {
  EXPECT_EQ(RecordHeader(RecordFormat::Csv), std::string(kTodaysColumns) + "\r\n");
  EXPECT_EQ(FieldNames(), kTodaysColumns);  // the JSON keys, in the same order
}

TEST_F(RecordTest, TheDocumentationListsTheFields) {
  // Where the sources are not reachable (a Windows build run elsewhere),
  // there is nothing to hold the fields against.
  if (!std::filesystem::exists(TOLVANE_SOURCE_DIR "/README.md")) GTEST_SKIP() << "no sources here";
  // The README's table names each field in backquotes, in order; the man
  // page lists them in its --report entry.
  const std::string readme = Slurp(TOLVANE_SOURCE_DIR "/README.md");
  const size_t table = readme.find("| field | what it holds |");
  ASSERT_NE(table, std::string::npos);
  const std::string rows = readme.substr(table, readme.find("\n\n", table) - table);
  std::string documented;
  const std::regex firstColumn(R"(\n\| ([^|]*)\|)");
  for (auto row = std::sregex_iterator(rows.begin(), rows.end(), firstColumn); row != std::sregex_iterator(); ++row) {
    const std::string cell = (*row)[1];
    const std::regex name("`([a-z_0-9]+)`");
    for (auto n = std::sregex_iterator(cell.begin(), cell.end(), name); n != std::sregex_iterator(); ++n) {
      if (!documented.empty()) documented += ',';
      documented += (*n)[1].str();
    }
  }
  EXPECT_EQ(documented, kTodaysColumns);

  std::string man = Slurp(TOLVANE_SOURCE_DIR "/packaging/man/tolvane-cli.1");
  man = std::regex_replace(man, std::regex(R"(\s*\([^)]*\))"), "");  // the notes in brackets
  man = std::regex_replace(man, std::regex(R"(\s+)"), " ");
  const size_t fields = man.find("The fields: ");
  ASSERT_NE(fields, std::string::npos);
  std::string listed = man.substr(fields + 12, man.find('.', fields) - fields - 12);
  listed = std::regex_replace(listed, std::regex(", "), ",");
  EXPECT_EQ(listed, kTodaysColumns);
}

// A report or a history written by an earlier version, with fewer columns,
// grows: rewritten whole with today's header, its rows kept (also one whose
// reason spans lines inside quotes), the new columns empty, said once.
TEST_F(RecordTest, AFileOfAnEarlierVersionIsCarriedForward) {
  const std::string today = kTodaysColumns;
  const std::string older = today.substr(0, today.rfind(','));  // one column less
  const std::string rows =
      "2026-01-02T03:04:05+01:00,vm,COM3,fw.hex,ab,,,,write,failed,\"НЕТ ОТВЕТА: a\nb\",1,0,0,0,0,0,2.5\r\n"
      "2026-01-02T03:05:00+01:00,vm,COM3,fw.hex,ab,,,,verify,ok,,0,0,0,0,0,0,30\r\n";
  const std::string path = WriteScratch("history.csv", older + "\r\n" + rows);
  DeviceRecord record;
  record.Kind = "write";
  record.ExitCode = kExitOk;
  std::string error;
  std::string note;
  ASSERT_TRUE(AppendRecord(path, record, &error, &note)) << error;
  EXPECT_NE(note.find("carried forward from 18 to 19 columns"), std::string::npos) << note;
  EXPECT_EQ(Slurp(path), today + "\r\n" +
                             "2026-01-02T03:04:05+01:00,vm,COM3,fw.hex,ab,,,,write,failed,\"НЕТ ОТВЕТА: a\nb\",1,0,0,"
                             "0,0,0,2.5,\r\n"
                             "2026-01-02T03:05:00+01:00,vm,COM3,fw.hex,ab,,,,verify,ok,,0,0,0,0,0,0,30,\r\n" +
                             RecordLine(record, RecordFormat::Csv));
  // Once is enough: the next open finds today's header.
  ASSERT_TRUE(AppendRecord(path, record, &error, &note)) << error;
  EXPECT_EQ(note, "");
  // A record kept as JSON by an earlier version (the web page's history)
  // grows the same way: today's columns, the one it lacks empty.
  nlohmann::ordered_json kept = RecordJson(record);
  kept.erase(std::prev(kept.end()).key());
  const std::string line = RecordLine(record, RecordFormat::Csv);
  EXPECT_EQ(CsvLineOf(kept), line.substr(0, line.rfind(',')) + ",\r\n");

  // Foreign columns are refused, saying which, with the path once.
  const std::string other = WriteScratch("other.csv", "time,host,operator\r\n1,2,3\r\n");
  RecordFile foreign;
  EXPECT_FALSE(foreign.Open(other, &error));
  EXPECT_EQ(error, other +
                       ": holds other columns than these records: column 3 is \"operator\" where these "
                       "records have \"port\" (name a new file)");
  EXPECT_EQ(Slurp(other), "time,host,operator\r\n1,2,3\r\n");
  // A header with more columns than ours (a later version's) is not cut.
  const std::string later = WriteScratch("later.csv", today + ",operator\r\n");
  EXPECT_FALSE(foreign.Open(later, &error));
  EXPECT_NE(error.find("20 columns where these records have 19"), std::string::npos) << error;
}

TEST_F(RecordTest, WritesAndVerificationsAreRecordedInEveryProgram) {
  EXPECT_TRUE(RunIsRecorded(RunKind::Write));
  EXPECT_TRUE(RunIsRecorded(RunKind::Verify));
  for (RunKind kind : {RunKind::Read, RunKind::Run, RunKind::Capture}) EXPECT_FALSE(RunIsRecorded(kind));
}

}  // namespace
}  // namespace tolvane
