// The simulated device through the program's own serial port.
#include "serial/serial_port.h"
#include "sim/simulated_device.h"

#include "pty.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace tolvane {
namespace {

using test::ReadFrame;
using test::WriteFrame;

// A client killed with the port open leaves the line exclusive; the device
// frees it, so the next client is not refused as busy.
TEST(SimulatedDeviceOverSerialPort, AKilledClientDoesNotLeaveTheLineLocked) {
  SimulatedDevice device;
  std::string error;
  ASSERT_TRUE(device.Start(&error)) << error;
  const pid_t client = fork();
  if (client == 0) {
    OSerialPort port;
    if (!port.OpenDevice(device.PortPath(), kDefaultBaud)) _exit(1);
    kill(getpid(), SIGKILL);  // ends without closing anything
  }
  int status = 0;
  waitpid(client, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  OSerialPort next;
  bool opened = false;
  for (int i = 0; i < 50 && !opened; ++i) {
    opened = next.OpenDevice(device.PortPath(), kDefaultBaud);
    if (!opened) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(opened) << next.m_ErrorText;
}

TEST(SimulatedDeviceOverSerialPort, ServesTheRealPortAndIsLostWhenItVanishes) {
  SimulatedDeviceOptions options;
  options.BaudRate = 57600;
  options.Faults = {{SimFaultKind::Vanish, 3}};
  SimulatedDevice device(options);
  std::string error;
  ASSERT_TRUE(device.Start(&error)) << error;
  OSerialPort port;
  ASSERT_TRUE(port.OpenDevice(device.PortPath(), 57600)) << port.m_ErrorText;

  std::vector<uint8_t> frame = WriteFrame(0x0000, 0);
  port.Write(frame.data(), static_cast<int32_t>(frame.size()));
  uint8_t reply[32];
  int32_t received = 0;
  port.ReadTimed(reply, 1, received, 300);
  ASSERT_EQ(received, 1);
  EXPECT_EQ(reply[0], 0xEE);

  frame = ReadFrame(0x3FFFFC);
  port.Write(frame.data(), static_cast<int32_t>(frame.size()));
  port.ReadTimed(reply, 32, received, 1000);
  ASSERT_EQ(received, 32);
  EXPECT_EQ(reply[0], 0x02);  // revision A2, then the device ID
  EXPECT_EQ(reply[1], 0xA0);
  EXPECT_EQ(reply[2], 0x60);
  EXPECT_EQ(reply[3], 0x6C);

  // Third command: the line goes away; the port notices on its next read.
  port.Write(frame.data(), static_cast<int32_t>(frame.size()));
  port.ReadTimed(reply, 32, received, 1000);
  EXPECT_EQ(received, 0);
  int32_t drained = 0;
  port.Read(reply, 32, drained);
  EXPECT_NE(port.LastError(), 0u);
  EXPECT_EQ(device.State(), SimState::Vanished);
}

}  // namespace
}  // namespace tolvane
