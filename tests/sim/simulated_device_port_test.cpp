// The simulated device as a byte port on the caller's thread (the web page's
// built-in device), driven by the desktop's link and procedures.
#include "sim/simulated_device_port.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "image/hex_reader.h"
#include "log/console_log.h"
#include "log_sinks.h"
#include "monitor_frames.h"
#include "protocol/procedures.h"
#include "serial/system_error.h"
#include "sim/simulated_device.h"
#include "sim_fixture.h"

namespace tolvane {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct Observer : IProcedureObserver {
  std::vector<ProcedureOutcome> Outcomes;
  void Outcome(const ProcedureOutcome& outcome) override { Outcomes.push_back(outcome); }
};

// A load of a file that carries the whole flash and its configuration.
HexLoadResult FullLoad() {
  HexLoadResult load;
  load.FileRead = true;
  load.BytesStored = kFlashSize;
  for (int32_t k = 0; k < kVerifiedRegionCount; ++k)
    for (int32_t i = 0; i < MemoryRegions[static_cast<size_t>(k)].Size; ++i)
      load.RegionSet.set(static_cast<size_t>(RegionSlotOffset(k) + i - kFlashSize));
  return load;
}

SimulatedDeviceOptions DevicePace() {
  SimulatedDeviceOptions options;
  options.BaudRate = kDefaultBaud;
  options.ProgramTimeUs = 2000;
  return options;
}

class DevicePortTest : public ::testing::Test {
 protected:
  void SetUp() override { Log().AddSink(m_Capture); }
  void TearDown() override { Log().RemoveSink(m_Capture); }
  std::string Logged() const { return m_Capture->Text(); }

  std::shared_ptr<test::CaptureSink> m_Capture = std::make_shared<test::CaptureSink>();
  FirmwareImage m_File = test::DeviceFirmware();
  HexLoadResult m_Load = FullLoad();
  FirmwareImage m_Read;
};

TEST_F(DevicePortTest, WritesAndVerifiesInTheWireTimeOfTheLine) {
  SimulatedDevicePort port(DevicePace(), SimulatedDevice::FactoryImage());
  MonitorLink link(port);
  Observer observer;
  Procedures procedures(link, observer);

  const auto start = Clock::now();
  EXPECT_EQ(procedures.WriteDevice(m_File, &m_Load, m_Read), ProcedureStatus::Done);
  const double seconds = SecondsSince(start);

  EXPECT_NE(Logged().find("Конец записи, записано блоков = 1024 из них защищено от изменений = 16\n"),
            std::string::npos)
      << Logged();
  ASSERT_EQ(observer.Outcomes.size(), 1u);
  EXPECT_EQ(observer.Outcomes[0].Caption, "ИНФОРМАЦИЯ");
  const FirmwareImage factory = SimulatedDevice::FactoryImage();
  for (int32_t i = 0; i < kFlashSize; ++i)
    ASSERT_EQ(port.Memory()[i], i < kMonitorAreaSize ? factory[i] : m_File[i]) << i;

  // Every byte took its time on the wire both ways, and every block its
  // programming time: never faster than that. The upper bound only catches
  // waits that are off by far (a read that sleeps to its time-out or well
  // past its byte) and holds on a loaded machine and under the sanitizers.
  const SimulatedDeviceStats& stats = port.Stats();
  const double wire = static_cast<double>(stats.BytesReceived + stats.BytesSent) * 10 / kDefaultBaud +
                      static_cast<double>(stats.BlocksWritten) * 0.002;
  EXPECT_GT(wire, 25.0);  // the whole device, written and read back
  EXPECT_GE(seconds, wire);
  EXPECT_LT(seconds, wire * 1.4) << "wire time " << wire << " s";
}

TEST_F(DevicePortTest, AFaultIsReportedAndAVanishedDeviceLosesThePort) {
  {
    SimulatedDeviceOptions options;
    options.Faults = {{SimFaultKind::NoAnswer, 40}};
    SimulatedDevicePort port(options, SimulatedDevice::FactoryImage());
    MonitorLink link(port);
    Observer observer;
    Procedures procedures(link, observer);
    EXPECT_EQ(procedures.WriteDevice(m_File, &m_Load, m_Read), ProcedureStatus::LinkFailed);
    ASSERT_EQ(observer.Outcomes.size(), 1u);
    EXPECT_EQ(observer.Outcomes[0].Caption, "ОШИБКА ЗАПИСИ") << observer.Outcomes[0].Text;
    EXPECT_EQ(port.LastError(), 0u);
  }
  {
    SimulatedDeviceOptions options;
    options.Faults = {{SimFaultKind::Vanish, 3}};
    SimulatedDevicePort port(options, SimulatedDevice::FactoryImage());
    MonitorLink link(port);
    Observer observer;
    Procedures procedures(link, observer);
    const auto start = Clock::now();
    EXPECT_EQ(procedures.Verify(m_File, m_Read), ProcedureStatus::LinkFailed);
    EXPECT_LT(SecondsSince(start), 0.5);  // said at once, not after a read's time-out
    EXPECT_EQ(port.LastError(), kSystemDeviceGone);
    EXPECT_EQ(port.State(), SimState::Vanished);
    ASSERT_EQ(observer.Outcomes.size(), 1u);
    EXPECT_EQ(observer.Outcomes[0].Text.rfind("Связь с портом потеряна: ", 0), 0u) << observer.Outcomes[0].Text;
    const uint8_t byte = 0;
    EXPECT_FALSE(port.Write(&byte, 1));
  }
}

TEST_F(DevicePortTest, ASenderThatOutrunsTheLineWaitsAndCanDropItsBacklog) {
  SimulatedDevicePort port(DevicePace(), SimulatedDevice::FactoryImage());
  // A second of capture bursts at once: the device's end takes a few frames'
  // worth, the rest waits in the line.
  const std::vector<uint8_t> bursts(5760, 0xCD);
  ASSERT_TRUE(port.Write(bursts.data(), static_cast<int32_t>(bursts.size())));
  EXPECT_GT(port.PendingOutput(), 5000);

  port.DiscardOutput();
  EXPECT_EQ(port.PendingOutput(), 0);
  const auto start = Clock::now();
  const std::vector<uint8_t> frame = test::ReadFrame(0x7C00);
  ASSERT_TRUE(port.Write(frame.data(), static_cast<int32_t>(frame.size())));
  std::vector<uint8_t> reply(32);
  int32_t received = 0;
  ASSERT_TRUE(port.ReadTimed(reply.data(), 32, received, 1000));
  EXPECT_EQ(received, 32);
  // Behind what the device had taken already (50 ms of the line), not
  // behind the whole second.
  EXPECT_LT(SecondsSince(start), 0.2);
  EXPECT_EQ(reply, std::vector<uint8_t>(32, 0xFF));
}

}  // namespace
}  // namespace tolvane
