// The procedures over the real serial port, against the simulated device on a
// pseudo-terminal: what the user sees for a healthy device and for each way a
// device or its line can fail.
#include <gtest/gtest.h>
#include "log_sinks.h"

#include <chrono>
#include <future>
#include <thread>

#include "image/hex_reader.h"
#include "log/console_log.h"
#include "protocol/procedures.h"
#include "serial/serial_port.h"
#include "sim/simulated_device.h"
#include "sim_fixture.h"

namespace tolvane {
namespace {

using Clock = std::chrono::steady_clock;

struct Observer : IProcedureObserver {
  std::vector<ProcedureOutcome> Outcomes;
  std::atomic<int32_t> Done{0};
  int32_t StopAfter = -1;
  void Progress(int32_t done, int32_t) override { Done = done; }
  void Outcome(const ProcedureOutcome& outcome) override { Outcomes.push_back(outcome); }
  bool StopRequested() override { return StopAfter >= 0 && Done >= StopAfter; }
};

// One simulated device with the programmer's port, link and procedures on it.
class Bench : public test::OpenTestDevice {
 public:
  explicit Bench(SimulatedDeviceOptions options = {}) : OpenTestDevice(std::move(options)) {}
  Procedures& Run() { return m_Procedures; }
  Observer& Seen() { return m_Observer; }

 private:
  MonitorLink m_Link{Port()};
  Observer m_Observer;
  Procedures m_Procedures{m_Link, m_Observer};
};

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override { Log().AddSink(m_Capture); }
  void TearDown() override { Log().RemoveSink(m_Capture); }
  std::string Logged() const { return m_Capture->Text(); }

  FirmwareImage m_File = test::DeviceFirmware();
  FirmwareImage m_Read;
  HexLoadResult m_Load = [] {
    HexLoadResult load;
    load.FileRead = true;
    load.BytesStored = kFlashSize;
    for (int32_t k = 0; k < kVerifiedRegionCount; ++k)  // the file carries its configuration
      for (int32_t i = 0; i < MemoryRegions[static_cast<size_t>(k)].Size; ++i)
        load.RegionSet.set(static_cast<size_t>(RegionSlotOffset(k) + i - kFlashSize));
    return load;
  }();
  std::shared_ptr<test::CaptureSink> m_Capture = std::make_shared<test::CaptureSink>();
};

TEST_F(DeviceTest, WriteAndVerifyWithTheMonitorProtected) {
  Bench bench;
  EXPECT_EQ(bench.Run().WriteDevice(m_File, &m_Load, m_Read), ProcedureStatus::Done);
  EXPECT_NE(Logged().find("Конец записи, записано блоков = 1024 из них защищено от изменений = 16\n"),
            std::string::npos)
      << Logged();
  EXPECT_EQ(Logged().find("Странно"), std::string::npos);
  ASSERT_EQ(bench.Seen().Outcomes.size(), 1u);
  EXPECT_EQ(bench.Seen().Outcomes[0].Caption, "ИНФОРМАЦИЯ");
  EXPECT_EQ(bench.Seen().Outcomes[0].Text,
            "Несовпадения есть только в области монитора, но это ерунда!\r\nНе совпадения выделены синим цветом");

  const FirmwareImage memory = bench.Device().Memory();
  const FirmwareImage factory = SimulatedDevice::FactoryImage();
  for (int32_t i = 0; i < kFlashSize; ++i) ASSERT_EQ(memory[i], i < kMonitorAreaSize ? factory[i] : m_File[i]) << i;
  // What was read is the device: flash, the regions and only half the information area.
  for (int32_t i = 0; i < kFlashSize; ++i) ASSERT_EQ(m_Read[i], memory[i]) << i;
  EXPECT_TRUE(std::equal(m_Read.Slot(5), m_Read.Slot(5) + 2, factory.Slot(5)));
  EXPECT_EQ(m_Read.Slot(2)[32], 0xFF);
  EXPECT_EQ(bench.Device().Stats().ReadCommands, 2054);
}

TEST_F(DeviceTest, AStoppedWriteCanBeRepeated) {
  Bench bench;
  bench.Seen().StopAfter = 300;
  EXPECT_EQ(bench.Run().WriteDevice(m_File, &m_Load, m_Read), ProcedureStatus::Stopped);
  EXPECT_EQ(bench.Seen().Outcomes.back().Caption, "ЗАПИСЬ ПРЕРВАНА");
  EXPECT_EQ(bench.Device().Stats().WriteCommands, 300);

  bench.Seen().StopAfter = -1;
  EXPECT_EQ(bench.Run().WriteDevice(m_File, &m_Load, m_Read), ProcedureStatus::Done);
  EXPECT_EQ(bench.Seen().Outcomes.back().Caption, "ИНФОРМАЦИЯ");
}

TEST_F(DeviceTest, RunStartsTheFirmware) {
  Bench bench;
  EXPECT_EQ(bench.Run().Run(), ProcedureStatus::Done);
  for (int i = 0; i < 100 && bench.Device().State() != SimState::Firmware; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(bench.Device().State(), SimState::Firmware);
  // A device in its firmware no longer answers: a read fails at once.
  EXPECT_EQ(bench.Run().ReadDevice(m_Read), ProcedureStatus::LinkFailed);
}

// Capture bursts asked for every millisecond for seconds, as the window and
// the command line do while they wait for a device, against a device that
// takes bytes at the line's pace: the read that follows is answered at once,
// not behind a backlog of bursts (before, 3 s left about 0.7 s of them).
TEST_F(DeviceTest, CaptureBurstsLeaveTheLineFreeForTheNextFrame) {
  SimulatedDeviceOptions options;
  options.BaudRate = kDefaultBaud;
  test::OpenTestDevice device(options);
  MonitorLink link(device.Port());
  const auto start = Clock::now();
  while (Clock::now() - start < std::chrono::seconds(3)) {
    link.SendCaptureBurst();
    std::this_thread::sleep_for(std::chrono::milliseconds(link::kCapturePeriodMs));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the last burst's wire time
  const auto asked = Clock::now();
  EXPECT_TRUE(link.ReadBlock(kMonitorAreaSize).Ok);
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - asked).count(), 0.2);
}

TEST_F(DeviceTest, FourDevicesInParallel) {
  std::vector<std::future<ProcedureStatus>> runs;
  std::vector<std::unique_ptr<Bench>> benches;
  for (int i = 0; i < 4; ++i) benches.push_back(std::make_unique<Bench>());
  for (auto& bench : benches) {
    runs.push_back(std::async(std::launch::async, [&, b = bench.get()] {
      FirmwareImage read;
      return b->Run().WriteDevice(m_File, &m_Load, read);
    }));
  }
  for (auto& run : runs) EXPECT_EQ(run.get(), ProcedureStatus::Done);
  for (auto& bench : benches) EXPECT_EQ(bench->Device().Stats().BlocksWritten, 1008);
}

enum class Procedure { Read, Write };

struct FaultCase {
  const char* Name;
  Procedure Run;
  SimFaultKind Kind;
  int32_t At;
  ProcedureStatus Status;
  const char* Caption;
  const char* LogLine;  // expected in the trace, or nullptr
};

class FaultTest : public DeviceTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultTest, ReportsAndNeverHangs) {
  const FaultCase& c = GetParam();
  SimulatedDeviceOptions options;
  options.Faults = {{c.Kind, c.At}};
  Bench bench(options);
  const Clock::time_point start = Clock::now();
  ProcedureStatus status =
      c.Run == Procedure::Read ? bench.Run().Verify(m_File, m_Read) : bench.Run().WriteDevice(m_File, &m_Load, m_Read);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(status, c.Status);
  ASSERT_EQ(bench.Seen().Outcomes.size(), 1u);
  EXPECT_EQ(bench.Seen().Outcomes[0].Caption, c.Caption) << bench.Seen().Outcomes[0].Text;
  if (c.LogLine) {
    EXPECT_NE(Logged().find(c.LogLine), std::string::npos) << Logged();
  }
}

// Commands are counted by the device from 1: the write of 0x400 is command 17,
// the verification after a full write starts at command 1025.
INSTANTIATE_TEST_SUITE_P(
    Matrix, FaultTest,
    ::testing::Values(FaultCase{"ReadNoAnswer", Procedure::Read, SimFaultKind::NoAnswer, 1, ProcedureStatus::LinkFailed,
                                "ОШИБКА ЧТЕНИЯ", "Err, RdSz=0\n"},
                      FaultCase{"ReadShortReply", Procedure::Read, SimFaultKind::ShortReply, 40,
                                ProcedureStatus::LinkFailed, "ОШИБКА ЧТЕНИЯ", "Err, RdSz=31\n"},
                      // A line that goes away is a lost port, not a silent device.
                      FaultCase{"ReadVanish", Procedure::Read, SimFaultKind::Vanish, 40, ProcedureStatus::LinkFailed,
                                "ОШИБКА ПРИ РАБОТЕ С COM-ПОРТОМ", "Err, RdSz=0\n"},
                      FaultCase{"RegionNoAnswer", Procedure::Read, SimFaultKind::NoAnswer, 2052,
                                ProcedureStatus::LinkFailed, "ОШИБКА", "Err, RdSz=0\n"},
                      // Wrong data a read cannot see shows as differences in the verification.
                      FaultCase{"ReadWrongAnswer", Procedure::Read, SimFaultKind::WrongAnswer, 40,
                                ProcedureStatus::Differs, "ОШИБКА ВЕРИФИКАЦИИ", nullptr},
                      // Bytes beside a reply would shift the data: never compared.
                      FaultCase{"ReadExtraByte", Procedure::Read, SimFaultKind::ExtraByte, 40,
                                ProcedureStatus::LinkFailed, "ОШИБКА СВЯЗИ", "Лишние байты от модуля после ответа"},
                      FaultCase{"ReadNoise", Procedure::Read, SimFaultKind::Noise, 40, ProcedureStatus::LinkFailed,
                                "ОШИБКА СВЯЗИ", "Лишние байты от модуля после ответа"},
                      FaultCase{"LastReadExtraByte", Procedure::Read, SimFaultKind::ExtraByte, 2054,
                                ProcedureStatus::LinkFailed, "ОШИБКА СВЯЗИ", "Лишние байты от модуля после ответа"},
                      FaultCase{"WriteNoAnswer", Procedure::Write, SimFaultKind::NoAnswer, 17,
                                ProcedureStatus::LinkFailed, "ОШИБКА ЗАПИСИ", nullptr},
                      FaultCase{"WriteWrongAnswer", Procedure::Write, SimFaultKind::WrongAnswer, 17,
                                ProcedureStatus::LinkFailed, "ОШИБКА ЗАПИСИ", nullptr},
                      FaultCase{"WriteShortReply", Procedure::Write, SimFaultKind::ShortReply, 17,
                                ProcedureStatus::LinkFailed, "ОШИБКА ЗАПИСИ", nullptr},
                      FaultCase{"WriteExtraByte", Procedure::Write, SimFaultKind::ExtraByte, 17,
                                ProcedureStatus::LinkFailed, "ОШИБКА СВЯЗИ", nullptr},
                      FaultCase{"WriteNoise", Procedure::Write, SimFaultKind::Noise, 17, ProcedureStatus::LinkFailed,
                                "ОШИБКА ЗАПИСИ", nullptr},
                      FaultCase{"WriteVanish", Procedure::Write, SimFaultKind::Vanish, 17, ProcedureStatus::LinkFailed,
                                "ОШИБКА ПРИ РАБОТЕ С COM-ПОРТОМ", nullptr},
                      FaultCase{"VerifyShortReply", Procedure::Write, SimFaultKind::ShortReply, 1030,
                                ProcedureStatus::LinkFailed, "ОШИБКА ЧТЕНИЯ", "Err, RdSz=31\n"},
                      FaultCase{"VerifyExtraByte", Procedure::Write, SimFaultKind::ExtraByte, 1030,
                                ProcedureStatus::LinkFailed, "ОШИБКА СВЯЗИ", "Начинаю проверку \n"}),
    [](const ::testing::TestParamInfo<FaultCase>& param) { return std::string(param.param.Name); });

// The faults of the device against the writes with options: each ends with
// an outcome that says plainly what the device holds, and a second write,
// without the fault, leaves it holding the file.
struct PlannedCase {
  const char* Name;
  bool ChangedOnly;  // else a full write that keeps 0x8000..0x803F
  SimFaultKind Kind;
  int32_t At;
};

class PlannedFaultTest : public DeviceTest, public ::testing::WithParamInterface<PlannedCase> {};

TEST_P(PlannedFaultTest, SaysWhatTheDeviceHoldsAndASecondWriteMends) {
  const PlannedCase& c = GetParam();
  SimulatedDeviceOptions options;
  options.Faults = {{c.Kind, c.At}};
  Bench bench(options);
  FirmwareImage before = bench.Device().Memory();
  for (int32_t i = 0x8000; i < 0x8040; ++i) before[i] = 0x77;  // the device's own data
  bench.Device().SetMemory(before);
  WriteOptions write;
  write.ChangedOnly = c.ChangedOnly;
  if (!c.ChangedOnly) write.Keep = {{0x8000, 0x8040}};
  EXPECT_EQ(bench.Run().WriteDevice(m_File, &m_Load, m_Read, Admission::Done, write), ProcedureStatus::LinkFailed);
  ASSERT_EQ(bench.Seen().Outcomes.size(), 1u);
  const std::string& text = bench.Seen().Outcomes[0].Text;
  const bool said = text.find("Записано блоков: ") != std::string::npos ||
                    text.find("прошивка в модуле не изменена") != std::string::npos;
  EXPECT_TRUE(said) << text;
  if (c.Kind == SimFaultKind::Vanish) return;  // no device to write again

  bench.Seen().Outcomes.clear();
  EXPECT_EQ(bench.Run().WriteDevice(m_File, &m_Load, m_Read, Admission::Done, write), ProcedureStatus::Done)
      << bench.Seen().Outcomes.back().Text;
  const FirmwareImage after = bench.Device().Memory();
  for (int32_t i = kMonitorAreaSize; i < kFlashSize; ++i) {
    const bool kept = !c.ChangedOnly && i >= 0x8000 && i < 0x8040;
    ASSERT_EQ(after[i], kept ? 0x77 : m_File[i]) << i;
  }
}

// Only what changed reads the monitor's 16 blocks first (commands 1 to 32);
// the user area's first block is read at 33 and 34, written at 35 and read
// back at 36 and 37. The full write that keeps a block reads that block
// (0x8000, the 513th) before writing it.
INSTANTIATE_TEST_SUITE_P(Matrix, PlannedFaultTest,
                         ::testing::Values(PlannedCase{"ChangedReadNoAnswer", true, SimFaultKind::NoAnswer, 33},
                                           PlannedCase{"ChangedWriteWrongAnswer", true, SimFaultKind::WrongAnswer, 35},
                                           PlannedCase{"ChangedReadBackShortReply", true, SimFaultKind::ShortReply, 36},
                                           PlannedCase{"ChangedWriteNoAnswer", true, SimFaultKind::NoAnswer, 80},
                                           PlannedCase{"ChangedVanish", true, SimFaultKind::Vanish, 100},
                                           PlannedCase{"KeepWriteWrongAnswer", false, SimFaultKind::WrongAnswer, 200},
                                           PlannedCase{"KeepReadNoAnswer", false, SimFaultKind::NoAnswer, 513},
                                           PlannedCase{"KeepReadShortReply", false, SimFaultKind::ShortReply, 514},
                                           PlannedCase{"KeepVanish", false, SimFaultKind::Vanish, 600}),
                         [](const ::testing::TestParamInfo<PlannedCase>& param) {
                           return std::string(param.param.Name);
                         });

}  // namespace
}  // namespace tolvane
