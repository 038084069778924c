// The one way tests start tolvane-cli: a child process with its output in
// files, a time limit, and its exit status.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tolvane::test {

struct CliRun {
  int ExitCode = -1;  // -1: killed (by a signal, or at the time limit)
  std::string Out;
  std::string Err;
  double Seconds = 0;
};

class CliProcess {
 public:
  // fileSizeLimit > 0: no file the program writes may grow past it (as on a
  // full disk); its stdout then goes nowhere, so that only its own files
  // meet the limit.
  explicit CliProcess(std::vector<std::string> args, long fileSizeLimit = 0) {
    static int serial = 0;
    const std::string base = "/tmp/tolvane-cli-test-" + std::to_string(getpid()) + "-" + std::to_string(++serial);
    m_OutPath = base + ".out";
    m_ErrPath = base + ".err";
    m_Start = std::chrono::steady_clock::now();
    m_Pid = fork();
    if (m_Pid == 0) {
      int in = open("/dev/null", O_RDONLY);
      int out =
          fileSizeLimit > 0 ? open("/dev/null", O_WRONLY) : open(m_OutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int err = open(m_ErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(in, STDIN_FILENO);
      dup2(out, STDOUT_FILENO);
      dup2(err, STDERR_FILENO);
      if (fileSizeLimit > 0) {
        const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
        setrlimit(RLIMIT_FSIZE, &limit);
      }
      std::vector<char*> argv;
      static std::string program = TOLVANE_CLI_PATH;
      argv.push_back(program.data());
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
  }
  ~CliProcess() {
    if (!Ended()) {
      kill(m_Pid, SIGKILL);
      waitpid(m_Pid, &m_Status, 0);
    }
    std::remove(m_OutPath.c_str());
    std::remove(m_ErrPath.c_str());
  }
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  void Signal(int number) const { kill(m_Pid, number); }

  // The first line the program printed, waiting for it at most timeoutMs.
  std::string FirstLine(int timeoutMs) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
      const std::string out = Slurp(m_OutPath);
      const size_t line = out.find('\n');
      if (line != std::string::npos) return out.substr(0, line);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < end);
    return {};
  }

  // Whether the program has ended (without waiting for it).
  bool Ended() {
    if (!m_Ended && waitpid(m_Pid, &m_Status, WNOHANG) == m_Pid) m_Ended = true;
    return m_Ended;
  }

  // Waits at most `limit` for the end, then kills the program.
  CliRun Wait(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!Ended()) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(m_Pid, SIGKILL);
        waitpid(m_Pid, &m_Status, 0);
        m_Ended = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    CliRun run;
    run.ExitCode = WIFEXITED(m_Status) ? WEXITSTATUS(m_Status) : -1;
    run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_Start).count();
    run.Out = Slurp(m_OutPath);
    run.Err = Slurp(m_ErrPath);
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
  int m_Status = 0;
  bool m_Ended = false;
  std::string m_OutPath, m_ErrPath;
  std::chrono::steady_clock::time_point m_Start;
};

inline CliRun RunCli(std::vector<std::string> args) { return CliProcess(std::move(args)).Wait(); }

}  // namespace tolvane::test
