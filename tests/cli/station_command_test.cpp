// The station as a production line runs it: devices of a jig programmed one
// after another with their records and a JSON document that parses; a
// report on a full disk stops the station with whole records only; Ctrl-C
// in the middle of a device; reports and ports that cannot be used.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <fstream>
#include <set>

#include <nlohmann/json.hpp>

#include "cli_process.h"
#include "device_commands_fixture.h"

namespace tolvane {
namespace {

using test::CliRun;
using test::RunCli;

using StationCommandTest = DeviceCommandsTest;

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(StationCommandTest, AJigIsProgrammedDeviceByDeviceWithRecordsAndJson) {
  test::TestDevice jig(test::Jig(2));
  const std::string report = (m_Dir / "line.jsonl").string();
  CliRun run = RunCli({"station", "--port", jig.Path(), m_Hex, "--count", "2", "--run", "--report", report, "--json"});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const nlohmann::json devices = nlohmann::json::parse(run.Out);
  ASSERT_EQ(devices.size(), 2u);
  std::set<std::string> ids;
  for (const nlohmann::json& device : devices) {
    EXPECT_EQ(device["verdict"], "ok");
    EXPECT_EQ(device["kind"], "write");
    EXPECT_EQ(device["port"], jig.Path());
    EXPECT_EQ(device["file"], "firmware.hex");
    EXPECT_EQ(device["exit_code"], 0);
    ids.insert(device["unique_id"].get<std::string>());
  }
  EXPECT_EQ(ids.size(), 2u);
  // The human side is on stderr: an event a line, the totals at the end.
  EXPECT_TRUE(Has(run.Err, ": waiting for a device: switch it on\n")) << run.Err;
  EXPECT_TRUE(Has(run.Err, "station: 2 ok, 0 failed, 0 interrupted\n")) << run.Err;
  const std::string records = Slurp(report);
  EXPECT_EQ(std::count(records.begin(), records.end(), '\n'), 2);
  EXPECT_EQ(nlohmann::json::parse(records.substr(0, records.find('\n'))), devices[0]);

  // write and verify add their records to the same file.
  const std::string csv = (m_Dir / "line.csv").string();
  ASSERT_EQ(RunCli({"verify", m_Hex, "--port", "sim:fast", "--report", csv}).ExitCode, 1);
  const CliRun json = RunCli({"verify", m_Hex, "--port", "sim:fast", "--port", "sim:fast", "--json"});
  EXPECT_EQ(nlohmann::json::parse(json.Out).size(), 2u);
  EXPECT_TRUE(Has(json.Err, "ОШИБКА ВЕРИФИКАЦИИ")) << json.Err;
  const std::string rows = Slurp(csv);
  EXPECT_TRUE(rows.starts_with("time,host,port,file,sha256,unique_id,device_id,revision_id,kind,verdict,")) << rows;
  EXPECT_TRUE(Has(rows, ",verify,differs,")) << rows;

  // A name of no record format is refused before anything is done.
  CliRun text = RunCli({"station", "--port", "sim", m_Hex, "--report", (m_Dir / "line.txt").string()});
  EXPECT_EQ(text.ExitCode, 2);
  EXPECT_TRUE(Has(text.Err, ".csv or .jsonl")) << text.Err;
}

TEST_F(StationCommandTest, AReportOnAFullDiskStopsTheStationWithWholeRecords) {
  test::TestDevice jig(test::Jig(8));
  const std::filesystem::path report = m_Dir / "line.csv";
  // Room for the header and a few records, as a disk that fills up.
  test::CliProcess station({"station", "--port", jig.Path(), m_Hex, "--run", "--report", report.string()}, 1400);
  const CliRun run = station.Wait(std::chrono::seconds(60));
  EXPECT_EQ(run.ExitCode, 4) << run.Err;
  EXPECT_TRUE(Has(run.Err, "the record could not be written")) << run.Err;
  const std::string rows = Slurp(report);
  EXPECT_LE(rows.size(), 1400u);
  ASSERT_TRUE(rows.ends_with("\r\n")) << rows;
  const auto lines = std::count(rows.begin(), rows.end(), '\n');
  EXPECT_GE(lines, 3);  // the header and the records that fitted
  // The station stopped at the record it could not keep: no device went
  // unrecorded after it.
  EXPECT_LE(jig->JigBoardsTaken().size(), static_cast<size_t>(lines));
}

TEST_F(StationCommandTest, CtrlCInTheMiddleOfADeviceRecordsItInterrupted) {
  SimulatedDeviceOptions slow = test::Jig(2);
  slow.BaudRate = 115200;  // long enough to be stopped in the middle
  test::TestDevice jig(slow);
  test::CliProcess station({"station", "--port", jig.Path(), m_Hex, "--baud", "115200", "--json"});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (jig->Stats().WriteCommands < 50 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  station.Signal(SIGINT);
  const CliRun run = station.Wait(std::chrono::seconds(20));
  EXPECT_EQ(run.ExitCode, 5) << run.Err;
  const nlohmann::json devices = nlohmann::json::parse(run.Out);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0]["verdict"], "interrupted");
  EXPECT_EQ(devices[0]["exit_code"], 5);
  EXPECT_TRUE(Has(run.Err, "station: 0 ok, 0 failed, 1 interrupted")) << run.Err;
}

// A report or a port that cannot be used is a usage error found before any
// port is opened or any record written: a report that is the command's own
// file (through a link), a pipe or a device, and a port given twice.
TEST_F(StationCommandTest, ReportsAndPortsAreCheckedBeforeAnythingIsOpened) {
  const std::string original = Slurp(m_Hex);
  const std::filesystem::path link = m_Dir / "rep.jsonl";
  std::filesystem::create_symlink(m_Hex, link);
  const std::filesystem::path pipe = m_Dir / "pipe.csv";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const std::filesystem::path full = m_Dir / "full.jsonl";
  std::filesystem::create_symlink("/dev/full", full);
  for (const char* command : {"write", "verify", "station"}) {
    for (const std::filesystem::path& report : {link, pipe, full}) {
      CliRun run =
          test::CliProcess({command, m_Hex, "--port", "/dev/tolvane-no-such-port", "--report", report.string()})
              .Wait(std::chrono::seconds(10));
      EXPECT_EQ(run.ExitCode, 2) << command << " " << report << run.Out << run.Err;
      EXPECT_TRUE(Has(run.Err, "--report " + report.string() + " is ")) << run.Err;
    }
  }
  EXPECT_EQ(Slurp(m_Hex), original);

  test::TestDevice jig(test::Jig(1));
  const std::filesystem::path ttyLink = m_Dir / "jig";
  std::filesystem::create_symlink(jig.Path(), ttyLink);
  const std::filesystem::path report = m_Dir / "twice.csv";
  for (const std::string& again : {jig.Path(), ttyLink.string()}) {
    CliRun twice = RunCli({"station", "--port", jig.Path(), "--port", again, m_Hex, "--report", report.string()});
    EXPECT_EQ(twice.ExitCode, 2) << twice.Err;
    EXPECT_TRUE(Has(twice.Err, "give each port once")) << twice.Err;
    EXPECT_FALSE(std::filesystem::exists(report));
    EXPECT_EQ(RunCli({"write", m_Hex, "--port", again, "--port", jig.Path()}).ExitCode, 2);
  }
  EXPECT_EQ(jig->Stats().WriteCommands, 0);
}

}  // namespace
}  // namespace tolvane
