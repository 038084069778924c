// The station against jigs whose devices come and go: each programmed once
// with its record, a failure recorded and the next device taken, the same
// device left connected not programmed again, two ports at once, a stop in
// the middle of a device; and the record files it writes.
#include "session/station.h"

#include <filesystem>
#include <fstream>
#include <set>

#include <nlohmann/json.hpp>

#include "image/hex_writer.h"
#include "log_capture.h"
#include "session/exit_codes.h"
#include "sim_fixture.h"

namespace tolvane {
namespace {

// Watches the station as a person at it would: the states each port shows
// and the devices that ended; stops it when asked to.
class Watch : public IStationReporter {
 public:
  void PortChanged(size_t port, const StationPortStatus& status) override {
    std::lock_guard lock(m_Mutex);
    if (status.State == StationState::Programming && status.Progress.Total > 0 && StopAtBlocks >= 0 &&
        status.Progress.Done >= StopAtBlocks)
      Stop = true;
    if (States.size() <= port) States.resize(port + 1);
    if (States[port].empty() || States[port].back() != status.State) States[port].push_back(status.State);
  }
  void DeviceEnded(size_t, const DeviceRecord&, const StationTotals&, const std::string&) override {
    if (++Ended >= StopAfterDevices && StopAfterDevices > 0) Stop = true;
  }
  bool StopRequested() override { return Stop; }

  int32_t Count(size_t port, StationState state) {
    std::lock_guard lock(m_Mutex);
    return static_cast<int32_t>(std::count(States[port].begin(), States[port].end(), state));
  }

  std::atomic<bool> Stop{false};
  std::atomic<int32_t> Ended{0};
  int32_t StopAfterDevices = 0;
  int32_t StopAtBlocks = -1;
  std::vector<std::vector<StationState>> States;

 private:
  std::mutex m_Mutex;
};

class StationTest : public test::LogCaptureTest {
 protected:
  void SetUp() override {
    test::LogCaptureTest::SetUp();
    const std::string path = WriteScratch("firmware.hex", "");
    ASSERT_TRUE(WriteHexFile(path, test::DeviceFirmware(0x2000)));
    ASSERT_TRUE(LoadFirmwareFile(path, m_File));
  }

  StationRequest Request(std::vector<std::string> ports, int32_t count) {
    StationRequest request;
    request.Ports = ports;
    request.Labels = ports;
    request.File = &m_File;
    request.Count = count;
    request.Stop = &m_Stop;
    return request;
  }

  // The user area of what the device holds equals the file's.
  bool HoldsFile(const FirmwareImage& device) const {
    return std::equal(device.Data() + kMonitorAreaSize, device.Data() + kFlashSize,
                      m_File.Image.Data() + kMonitorAreaSize);
  }

  FirmwareFile m_File;
  std::atomic<bool> m_Stop{false};
};

TEST_F(StationTest, ThreeDevicesAreProgrammedOnceEachWithARecordOfEach) {
  test::TestDevice jig(test::Jig(3));
  const std::string path = WriteScratch("line.csv", "");
  RecordFile report;
  std::string error;
  ASSERT_TRUE(report.Open(path, &error)) << error;
  StationRequest request = Request({jig.Path()}, 3);
  request.Options.RunAfterWrite = true;
  request.Report = &report;
  Watch watch;
  const StationResult result = RunStation(request, watch);

  EXPECT_EQ(result.ExitCode, kExitOk);
  EXPECT_EQ(result.Totals.Ok, 3);
  ASSERT_EQ(result.Records.size(), 3u);
  std::set<std::string> ids;
  for (const DeviceRecord& record : result.Records) {
    EXPECT_EQ(record.Verdict, "ok") << record.Reason;
    EXPECT_EQ(record.Sha256, m_File.Sha256);
    EXPECT_EQ(record.UniqueId.size(), 36u);
    ids.insert(record.UniqueId);
  }
  EXPECT_EQ(ids.size(), 3u);
  EXPECT_EQ(watch.Count(0, StationState::Programming), 3);
  // Each board left the jig with the firmware (the last one once its run
  // command took it away).
  std::vector<FirmwareImage> taken = jig->JigBoardsTaken();
  EXPECT_GE(taken.size(), 2u);
  for (const FirmwareImage& board : taken) EXPECT_TRUE(HoldsFile(board));

  std::ifstream csv(path, std::ios::binary);
  std::string line;
  std::vector<std::string> lines;
  while (std::getline(csv, line)) lines.push_back(line);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0] + "\n", RecordHeader(RecordFormat::Csv).substr(0, lines[0].size()) + "\n");
  for (size_t i = 1; i < 4; ++i) EXPECT_NE(lines[i].find(result.Records[i - 1].UniqueId), std::string::npos);
}

TEST_F(StationTest, AFailedDeviceIsRecordedWithWhyAndTheNextIsTaken) {
  // The first board stops answering in the middle of its write; the
  // operator takes it away after a while.
  SimulatedDeviceOptions options = test::Jig(2, 1500);
  options.Jig[0].Faults.push_back({SimFaultKind::NoAnswer, 200});
  test::TestDevice jig(options);
  Watch watch;
  const StationResult result = RunStation(Request({jig.Path()}, 1), watch);

  EXPECT_EQ(result.ExitCode, kExitOk);
  ASSERT_EQ(result.Records.size(), 2u);
  EXPECT_EQ(result.Records[0].Verdict, "failed");
  EXPECT_NE(result.Records[0].Reason.find("ОШИБКА ЗАПИСИ: Ошибка при записи, нет ответа"), std::string::npos)
      << result.Records[0].Reason;
  EXPECT_EQ(result.Records[1].Verdict, "ok");
  EXPECT_NE(result.Records[0].UniqueId, result.Records[1].UniqueId);
  EXPECT_EQ(result.Totals.Failed, 1);
  EXPECT_EQ(watch.Count(0, StationState::Failed), 1);
}

TEST_F(StationTest, TheSameDeviceLeftConnectedIsNotProgrammedTwice) {
  // One board, never taken away until 2.5 s have passed: the station must
  // not program it again meanwhile.
  test::TestDevice jig(test::Jig(1, 2500));
  Watch watch;
  std::thread stopper([&] {
    while (jig->JigBoardsTaken().empty() && !watch.Stop) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    watch.Stop = true;
  });
  const StationResult result = RunStation(Request({jig.Path()}, 2), watch);
  stopper.join();

  EXPECT_EQ(result.ExitCode, kExitInterrupted);
  ASSERT_EQ(result.Records.size(), 1u);
  EXPECT_EQ(result.Records[0].Verdict, "ok");
  EXPECT_EQ(watch.Count(0, StationState::Programming), 1);
  EXPECT_EQ(watch.Count(0, StationState::SameDevice), 1);
  EXPECT_EQ(jig->Stats().WriteCommands, 1024);
}

TEST_F(StationTest, TwoPortsWorkAtOnceAndOneFailingLeavesTheOtherAlone) {
  test::TestDevice good(test::Jig(1, 2000));
  SimulatedDeviceOptions bad = test::Jig(1, 2000);
  bad.Jig[0].Faults.push_back({SimFaultKind::WrongAnswer, 1100});  // a read back that differs
  test::TestDevice failing(bad);
  Watch watch;
  watch.StopAfterDevices = 2;
  StationRequest request = Request({good.Path(), failing.Path()}, 0);
  request.Labels = {"A", "B"};
  const StationResult result = RunStation(request, watch);

  EXPECT_EQ(result.ExitCode, kExitInterrupted);
  ASSERT_EQ(result.Records.size(), 2u);
  for (const DeviceRecord& record : result.Records) {
    if (record.Port == "A") {
      EXPECT_EQ(record.Verdict, "ok");
    } else {
      EXPECT_EQ(record.Port, "B");
      EXPECT_EQ(record.Verdict, "differs");
      EXPECT_EQ(record.ExitCode, kExitDiffers);
      EXPECT_GT(record.MismatchesUser, 0);
    }
  }
  EXPECT_EQ(result.Totals.Ok, 1);
  EXPECT_EQ(result.Totals.Failed, 1);
}

TEST_F(StationTest, AStopInTheMiddleOfADeviceRecordsItInterrupted) {
  test::TestDevice jig(test::Jig(2));
  Watch watch;
  watch.StopAtBlocks = 300;
  const StationResult result = RunStation(Request({jig.Path()}, 0), watch);

  EXPECT_EQ(result.ExitCode, kExitInterrupted);
  ASSERT_EQ(result.Records.size(), 1u);
  EXPECT_EQ(result.Records[0].Verdict, "interrupted");
  EXPECT_EQ(result.Records[0].ExitCode, kExitInterrupted);
  EXPECT_GT(result.Records[0].BlocksWritten, 0);
  EXPECT_LT(result.Records[0].BlocksWritten, 1008);
  EXPECT_EQ(result.Totals.Interrupted, 1);
}

TEST_F(StationTest, RecordFilesKeepWholeRecordsUnderOneHeader) {
  DeviceRecord record;
  record.Time = "2026-12-09T21:45:03+01:00";
  record.Port = "COM3";
  record.File = "fw, \"new\".hex";
  record.Verdict = "failed";
  record.Reason = "НЕТ ОТВЕТА: line one\nline two";
  record.Seconds = 1.25;
  record.ExitCode = 3;
  const std::string csv = RecordLine(record, RecordFormat::Csv);
  EXPECT_NE(csv.find(",\"fw, \"\"new\"\".hex\","), std::string::npos) << csv;
  EXPECT_NE(csv.find(",\"НЕТ ОТВЕТА: line one\nline two\","), std::string::npos) << csv;
  EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");

  // A file opened twice gets its header once; one saved without its last
  // line end gets it before the next record.
  const std::string path = WriteScratch("records.csv", "");
  std::string error;
  for (int i = 0; i < 2; ++i) {
    RecordFile file;
    ASSERT_TRUE(file.Open(path, &error)) << error;
    ASSERT_TRUE(file.Append(record, &error)) << error;
  }
  {
    std::ofstream cut(path, std::ios::binary | std::ios::app);
    cut << "x";
  }
  ASSERT_TRUE(AppendRecord(path, record, &error)) << error;
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, RecordHeader(RecordFormat::Csv) + csv + csv + "x\r\n" + csv);

  // Another program's CSV is not appended to: its columns would not line up.
  RecordFile foreign;
  EXPECT_FALSE(foreign.Open(WriteScratch("other.csv", "a,b,c\r\n1,2,3\r\n"), &error));
  EXPECT_FALSE(foreign.Open(WriteScratch("notes.txt", ""), &error));

  // JSON Lines: no header, each line an object with the same fields.
  const std::string jsonl = WriteScratch("records.JSONL", "");
  ASSERT_TRUE(AppendRecord(jsonl, record, &error)) << error;
  std::ifstream lines(jsonl);
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  const nlohmann::json parsed = nlohmann::json::parse(line);
  EXPECT_EQ(parsed["file"], record.File);
  EXPECT_EQ(parsed["reason"], record.Reason);
  EXPECT_EQ(parsed["seconds"], 1.25);
  EXPECT_EQ(parsed["exit_code"], 3);
  EXPECT_EQ(parsed.size(), RecordJson({}).size());
  EXPECT_FALSE(std::getline(lines, line));
}

}  // namespace
}  // namespace tolvane
