// Updating a device hands-off and fast, from the command line: waiting for
// its monitor (and saying why none came), writing only what changed, a
// backup that restores the device, the device's own data kept, a slow line.
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "cli_process.h"
#include "device_commands_fixture.h"
#include "image/hex_reader.h"
#include "pty.h"

namespace tolvane {
namespace {

using test::CliRun;
using test::RunCli;

using UpdateCommandsTest = DeviceCommandsTest;

// A line whose other end sends back whatever it gets: a loopback plug.
class Loopback {
 public:
  Loopback()
      : m_Echo([this] {
          uint8_t buffer[256];
          while (!m_Stop) {
            pollfd p{m_Pty.Master(), POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const ssize_t n = ::read(m_Pty.Master(), buffer, sizeof buffer);
            if (n > 0) (void)!::write(m_Pty.Master(), buffer, static_cast<size_t>(n));
          }
        }) {}
  ~Loopback() {
    m_Stop = true;
    m_Echo.join();
  }
  const std::string& Path() const { return m_Pty.SlavePath(); }

 private:
  test::PtyPair m_Pty;
  std::atomic<bool> m_Stop{false};
  std::thread m_Echo;
};

TEST_F(UpdateCommandsTest, WaitCatchesADeviceSwitchedOnLaterAndSaysWhyWhenNoneAnswers) {
  SimulatedDeviceOptions late;
  late.RequireCapture = true;
  late.PowerOnAfterMs = 1200;
  test::TestDevice device(late);
  CliRun caught = RunCli({"read", "--port", device.Path(), "--wait", "10"});
  EXPECT_EQ(caught.ExitCode, 0) << caught.Out << caught.Err;
  EXPECT_TRUE(Has(caught.Err, "waiting up to 10 s for the monitor: switch the device on or restart it")) << caught.Err;
  EXPECT_GE(device->Stats().ReadCommands, 2054);  // the read, and the probes before it
  EXPECT_LT(device->Stats().ReadCommands, 2054 + 50);
  EXPECT_LT(caught.Seconds, 5);

  SimulatedDeviceOptions off;
  off.PowerOnAfterMs = 600000;
  test::TestDevice silent(off);
  CliRun nothing = RunCli({"read", "--port", silent.Path(), "--wait", "1"});
  EXPECT_EQ(nothing.ExitCode, 3);
  EXPECT_TRUE(Has(nothing.Out, "НЕТ ОТВЕТА\nМонитор не ответил за 1 с. Линия молчит")) << nothing.Out;
  EXPECT_TRUE(Has(nothing.Out, "no monitor answered within 1 s: the line carried nothing")) << nothing.Out;

  SimulatedDeviceOptions chatty;
  chatty.ChatterPeriodMs = 50;
  test::TestDevice running(chatty);
  ASSERT_EQ(RunCli({"run", "--port", running.Path()}).ExitCode, 0);
  CliRun traffic = RunCli({"read", "--port", running.Path(), "--wait", "1"});
  EXPECT_EQ(traffic.ExitCode, 3);
  EXPECT_TRUE(Has(traffic.Out, "the line carried text or steady bytes: the firmware is running")) << traffic.Out;

  Loopback loop;
  CliRun own = RunCli({"verify", m_Hex, "--port", loop.Path(), "--wait", "1"});
  EXPECT_EQ(own.ExitCode, 3);
  EXPECT_TRUE(Has(own.Out, "only our own bytes came back (a loopback")) << own.Out;
}

TEST_F(UpdateCommandsTest, OnlyWhatChangedAndTheDevicesOwnData) {
  test::TestDevice device(Programmed());
  CliRun same = RunCli({"write", m_Hex, "--port", device.Path(), "--changed-only"});
  EXPECT_EQ(same.ExitCode, 0) << same.Out << same.Err;
  EXPECT_TRUE(Has(same.Out, "blocks sent: 0, protected: 0\nalready right: 1008")) << same.Out;
  EXPECT_EQ(device->Stats().WriteCommands, 0);

  // The device's own data (a serial number at 0xF000) survives a write.
  FirmwareImage memory = device->Memory();
  for (int32_t i = 0xF000; i < 0xF010; ++i) memory[i] = 0x42;
  device->SetMemory(memory);
  CliRun kept = RunCli({"write", m_Hex, "--port", device.Path(), "--keep", "0xF000:16"});
  EXPECT_EQ(kept.ExitCode, 0) << kept.Out << kept.Err;
  EXPECT_TRUE(Has(kept.Out, "kept the device's data at 0xF000-0xF00F")) << kept.Out;
  EXPECT_EQ(device->Memory()[0xF00F], 0x42);
  EXPECT_EQ(device->Memory()[0xF010], 0xFF);

  // Ranges that are no ranges of the user's program are usage errors, found
  // before the port is touched.
  for (const char* keep :
       {"0x300:16", "0xFFF0:32", "0xF000:0", "0xF000", "0xF000:16,0xF008:16", "0x7FFFFFFFFFFFFFFF:16"}) {
    CliRun bad = RunCli({"write", m_Hex, "--port", "/dev/tolvane-no-such-port", "--keep", keep});
    EXPECT_EQ(bad.ExitCode, 2) << keep << bad.Err;
    EXPECT_TRUE(Has(bad.Err, "write: --keep ")) << bad.Err;
  }
  CliRun negative = RunCli({"write", m_Hex, "--port", "/dev/tolvane-no-such-port", "--keep", "-0x10:32"});
  EXPECT_EQ(negative.ExitCode, 2) << negative.Err;
  EXPECT_TRUE(Has(negative.Err, "write: --keep '-0x10:32' starts below 0")) << negative.Err;
  // An empty --keep or --backup (an unset shell variable, "$CAL") would
  // write over the very data it was to keep: a usage error too. So is a
  // backup folder that is a file.
  for (const std::vector<std::string>& args : {std::vector<std::string>{"write", "--keep", ""},
                                               {"write", "--backup", ""},
                                               {"write", "--backup", m_Hex},
                                               {"station", "--keep", ""}}) {
    std::vector<std::string> command{args[0], m_Hex, "--port", "/dev/tolvane-no-such-port", args[1], args[2]};
    CliRun bad = RunCli(command);
    EXPECT_EQ(bad.ExitCode, 2) << args[0] << " " << args[1] << " '" << args[2] << "'" << bad.Out << bad.Err;
    EXPECT_FALSE(Has(bad.Out + bad.Err, "cannot open")) << bad.Out << bad.Err;
  }
}

// The backup is what the device held, named by its unique identifier; it
// loads as a sound file, and writing it back restores the device.
TEST_F(UpdateCommandsTest, ABackupRestoresTheDevice) {
  test::TestDevice device(Programmed());
  const FirmwareImage old = device->Memory();
  const std::string newer = (m_Dir / "newer.hex").string();
  ASSERT_TRUE(WriteHexFile(newer, test::DeviceFirmware(0x5000)));
  const std::string folder = (m_Dir / "backups").string();
  CliRun run = RunCli({"write", newer, "--port", device.Path(), "--backup", folder, "--changed-only"});
  EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  std::vector<std::filesystem::path> saved;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) saved.push_back(entry.path());
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].filename().string().rfind("913A075CE211408F6D2B9900137DA8C40100-", 0), 0u) << saved[0];
  EXPECT_TRUE(Has(run.Out, "backup: " + saved[0].string())) << run.Out;
  EXPECT_EQ(RunCli({"load", saved[0].string()}).ExitCode, 0);

  ASSERT_EQ(RunCli({"write", saved[0].string(), "--port", device.Path()}).ExitCode, 0);
  const FirmwareImage restored = device->Memory();
  for (int32_t i = 0; i < kFlashSize; ++i) ASSERT_EQ(restored[i], old[i]) << i;
}

// A line slower than its speed allows (an adapter's latency) is said, with
// what to do; a line at its speed is not.
TEST_F(UpdateCommandsTest, ASlowLineIsSaid) {
  SimulatedDeviceOptions slow;
  slow.ReplyLatencyUs = 1000;  // every reply a millisecond late: most of a read's time at 921600 baud
  test::TestDevice lagging(slow);
  CliRun run = RunCli({"read", "--port", lagging.Path(), "--baud", "921600"});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_TRUE(Has(run.Out, "% of what 921600 baud allows: ")) << run.Out;
  EXPECT_TRUE(Has(run.Out, "not through a hub")) << run.Out;

  test::TestDevice quick;
  CliRun fast = RunCli({"read", "--port", quick.Path()});
  EXPECT_FALSE(Has(fast.Out, "baud allows")) << fast.Out;
}

}  // namespace
}  // namespace tolvane
