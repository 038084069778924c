// Runs tolvane-cli as a child process with a time limit and collects what it
// printed and its exit status.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tolvane::testing {

struct CliRun {
  int ExitCode = -1;  // -1: killed at the time limit
  std::string Out;
  std::string Err;
  double Seconds = 0;
};

class CliProcess {
 public:
  explicit CliProcess(std::vector<std::string> args) {
    static int serial = 0;
    const std::string base = "/tmp/tolvane-cli-test-" + std::to_string(getpid()) + "-" + std::to_string(++serial);
    m_OutPath = base + ".out";
    m_ErrPath = base + ".err";
    m_Start = std::chrono::steady_clock::now();
    m_Pid = fork();
    if (m_Pid == 0) {
      int out = open(m_OutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int err = open(m_ErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(out, STDOUT_FILENO);
      dup2(err, STDERR_FILENO);
      std::vector<char*> argv;
      static std::string program = TOLVANE_CLI_PATH;
      argv.push_back(program.data());
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
  }

  void Signal(int number) const { kill(m_Pid, number); }

  CliRun Wait(std::chrono::seconds limit = std::chrono::seconds(30)) {
    CliRun run;
    int status = 0;
    for (;;) {
      if (waitpid(m_Pid, &status, WNOHANG) == m_Pid) {
        run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        break;
      }
      if (std::chrono::steady_clock::now() - m_Start > limit) {
        kill(m_Pid, SIGKILL);
        waitpid(m_Pid, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_Start).count();
    run.Out = Slurp(m_OutPath);
    run.Err = Slurp(m_ErrPath);
    std::remove(m_OutPath.c_str());
    std::remove(m_ErrPath.c_str());
    return run;
  }

 private:
  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  pid_t m_Pid = -1;
  std::string m_OutPath, m_ErrPath;
  std::chrono::steady_clock::time_point m_Start;
};

inline CliRun RunCli(std::vector<std::string> args) { return CliProcess(std::move(args)).Wait(); }

}  // namespace tolvane::testing
