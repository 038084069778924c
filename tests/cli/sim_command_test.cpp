// tolvane-cli sim as a process of its own.
#include "cli_process.h"
#include "pty.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace tolvane {
namespace {

using test::PtyClient;
using test::ReadFrame;
using test::WriteFrame;

// tolvane-cli sim with its arguments.
class SimProcess : public test::CliProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) : CliProcess(WithSim(std::move(args))) {}
  int ExitCode(int timeoutMs) { return Wait(std::chrono::milliseconds(timeoutMs)).ExitCode; }

 private:
  static std::vector<std::string> WithSim(std::vector<std::string> args) {
    args.insert(args.begin(), "sim");
    return args;
  }
};

TEST(SimCommand, ServesUntilInterruptedAndSaves) {
  const std::string save =
      (std::filesystem::temp_directory_path() / ("tolvane_simcmd_" + std::to_string(getpid()) + ".bin")).string();
  SimProcess sim({"--save", save, "--fault", "extra-byte@2"});
  const std::string path = sim.FirstLine(5000);
  ASSERT_FALSE(path.empty());
  {
    PtyClient client(path);
    ASSERT_TRUE(client.IsOpen());
    client.Send(WriteFrame(0x0400, 0x11));
    EXPECT_EQ(client.Receive(1, 1000), std::vector<uint8_t>{0xAA});
    client.Send(ReadFrame(0x0400));
    std::vector<uint8_t> reply = client.Receive(33, 1000);
    ASSERT_EQ(reply.size(), 33u);
    EXPECT_EQ(reply[0], 0x11);
    EXPECT_EQ(reply[32], 0xA5);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(sim.Ended());  // a client leaving does not end it
  {
    // Hang-up is a power cycle: the started firmware gives way to the monitor.
    PtyClient client(path);
    client.Send({0xCD, 0xEB});
    client.Send(ReadFrame(0x0400));
    EXPECT_TRUE(client.Receive(32, 100).empty());
    sim.Signal(SIGHUP);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    client.Send(ReadFrame(0x0400));
    EXPECT_EQ(client.Receive(32, 1000).size(), 32u);
  }
  sim.Signal(SIGINT);
  EXPECT_EQ(sim.ExitCode(5000), 0);
  EXPECT_EQ(std::filesystem::file_size(save), 66048u);
  std::filesystem::remove(save);
}

TEST(SimCommand, ExitCodesOfAVanishedPortABadFaultAndAMissingFile) {
  SimProcess sim({"--fault", "vanish@1"});
  const std::string path = sim.FirstLine(5000);
  ASSERT_FALSE(path.empty());
  PtyClient client(path);
  client.Send(ReadFrame(0));
  EXPECT_TRUE(client.Receive(32, 1000).empty());
  EXPECT_EQ(sim.ExitCode(5000), 3);

  SimProcess bad({"--fault", "explode@1"});
  EXPECT_EQ(bad.ExitCode(5000), 2);
  SimProcess missing({"--hex", "/nonexistent/firmware.hex"});
  EXPECT_EQ(missing.ExitCode(5000), 4);
}

}  // namespace
}  // namespace tolvane
