// The simulated device through the program's own serial port, on either
// line: a pseudo-terminal (where the system has them) or inside the program.
#include "serial/serial_port.h"
#include "sim/simulated_device.h"

#include "monitor_frames.h"

#include <gtest/gtest.h>

#include <chrono>

namespace tolvane {
namespace {

using test::ReadFrame;
using test::WriteFrame;

class SimulatedDeviceLine : public testing::TestWithParam<bool> {};

TEST_P(SimulatedDeviceLine, ServesTheRealPortAndIsLostWhenItVanishes) {
  SimulatedDeviceOptions options;
  options.InProcess = GetParam();
  options.BaudRate = 57600;
  options.Faults = {{SimFaultKind::Vanish, 3}};
  SimulatedDevice device(options);
  std::string error;
  ASSERT_TRUE(device.Start(&error)) << error;
  OSerialPort port;
  ASSERT_TRUE(port.OpenDevice(device.PortPath(), 57600)) << port.ErrorText();

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

// One client at a time, as on a real port; the line is free again once it
// closes.
TEST_P(SimulatedDeviceLine, IsExclusiveAndKeepsTheWireTime) {
  SimulatedDeviceOptions options;
  options.InProcess = GetParam();
  options.BaudRate = 57600;
  SimulatedDevice device(options);
  std::string error;
  ASSERT_TRUE(device.Start(&error)) << error;
  OSerialPort first, second;
  ASSERT_TRUE(first.OpenDevice(device.PortPath(), 57600)) << first.ErrorText();
  EXPECT_FALSE(second.OpenDevice(device.PortPath(), 57600));

  // 5 bytes out and 32 back at 57600 baud take 37 * 10 / 57600 s = 6.4 ms.
  const std::vector<uint8_t> frame = ReadFrame(0x3FFFFC);
  const auto start = std::chrono::steady_clock::now();
  first.Write(frame.data(), static_cast<int32_t>(frame.size()));
  uint8_t reply[32];
  int32_t received = 0;
  first.ReadTimed(reply, 32, received, 1000);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(received, 32);
  EXPECT_GE(took, std::chrono::microseconds(6000));

  first.Close();
  EXPECT_TRUE(second.OpenDevice(device.PortPath(), 57600)) << second.ErrorText();
}

INSTANTIATE_TEST_SUITE_P(Lines, SimulatedDeviceLine, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& line) {
                           return std::string(line.param ? "InProcess" : "System");
                         });

}  // namespace
}  // namespace tolvane
