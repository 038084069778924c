// tolvane-cli sim as a process of its own.
#include "pty_client.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <thread>

extern char** environ;

namespace tolvane {
namespace {

using test::PtyClient;
using test::ReadFrame;
using test::WriteFrame;

class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    args.insert(args.begin(), {TOLVANE_CLI_PATH, "sim"});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    if (posix_spawn(&m_Pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_Pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    m_Out = out[0];
  }
  ~SimProcess() {
    if (m_Pid > 0 && Wait(0) == kStillRunning) {
      kill(m_Pid, SIGKILL);
      Wait(2000);
    }
    if (m_Out >= 0) close(m_Out);
  }

  // The first line the process prints, waiting at most timeoutMs.
  std::string FirstLine(int timeoutMs) {
    std::string line;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{m_Out, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      char c;
      if (read(m_Out, &c, 1) != 1) break;
      if (c == '\n') return line;
      line += c;
    }
    return {};
  }

  void Signal(int number) const { kill(m_Pid, number); }

  static constexpr int kStillRunning = -100;
  // Exit code, or kStillRunning after timeoutMs.
  int Wait(int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      int status = 0;
      if (waitpid(m_Pid, &status, WNOHANG) == m_Pid) {
        m_Pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      if (std::chrono::steady_clock::now() >= end) return kStillRunning;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

 private:
  pid_t m_Pid = -1;
  int m_Out = -1;
};

TEST(SimCommand, ServesUntilInterruptedAndSaves) {
  const std::string save = (std::filesystem::temp_directory_path() /
                            ("tolvane_simcmd_" + std::to_string(getpid()) + ".bin")).string();
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
  EXPECT_EQ(sim.Wait(100), SimProcess::kStillRunning);  // a client leaving does not end it
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
  EXPECT_EQ(sim.Wait(5000), 0);
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
  EXPECT_EQ(sim.Wait(5000), 3);

  SimProcess bad({"--fault", "explode@1"});
  EXPECT_EQ(bad.Wait(5000), 2);
  SimProcess missing({"--hex", "/nonexistent/firmware.hex"});
  EXPECT_EQ(missing.Wait(5000), 4);
}

}  // namespace
}  // namespace tolvane
