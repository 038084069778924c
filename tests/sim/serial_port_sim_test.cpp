// The simulated device through the program's own serial port.
#include "serial/serial_port.h"
#include "sim/simulated_device.h"
#include "sim_fixture.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace tolvane {
namespace {

// A client killed with the port open leaves the line exclusive; the device
// frees it, so the next client is not refused as busy.
TEST(SimulatedDeviceOverSerialPort, AKilledClientDoesNotLeaveTheLineLocked) {
  test::TestDevice device;
  ASSERT_TRUE(device.Started());
  const pid_t client = fork();
  if (client == 0) {
    OSerialPort port;
    if (!port.OpenDevice(device.Path(), kDefaultBaud)) _exit(1);
    kill(getpid(), SIGKILL);  // ends without closing anything
  }
  int status = 0;
  waitpid(client, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  OSerialPort next;
  bool opened = false;
  for (int i = 0; i < 50 && !opened; ++i) {
    opened = next.OpenDevice(device.Path(), kDefaultBaud);
    if (!opened) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(opened) << next.ErrorText();
}

}  // namespace
}  // namespace tolvane
