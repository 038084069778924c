// tolvane-cli sim: a simulated device on a pseudo-terminal, as a process of
// its own. Prints the path of its port and serves until interrupted; SIGHUP
// resets the device (a power cycle).
#include "reporter.h"
#include "commands.h"
#include "session/exit_codes.h"
#include "number_checks.h"
#include "output_path.h"

#include "sim/simulated_device.h"

#include <atomic>
#include <charconv>
#include <chrono>
#include <csignal>
#include <memory>
#include <optional>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace tolvane::cli {
namespace {

// Longest flash programming time per block the device is emulated with; its
// microseconds must fit the device's 32-bit option.
constexpr double kMaxProgramMs = 60000;

std::atomic<int> g_Signal{0};

void OnSignal(int number) { g_Signal = number; }

void CatchSignals() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
}

struct SimArgs {
  SimulatedDeviceOptions Options;
  std::vector<std::string> Faults;
  double ProgramMs = 0;
  double ReplyLatencyMs = 0;
  int32_t JigBoards = 0;
  std::vector<std::string> JigFaults;
};

// Fills the jig's boards: each a chip of its own (serial numbers from 1) with
// the old firmware of --hex, and the faults given to it as BOARD:KIND@COMMAND.
int SetUpJig(SimArgs& args) {
  SimulatedDeviceOptions& options = args.Options;
  for (int32_t i = 0; i < args.JigBoards; ++i) {
    SimJigBoard board;
    std::string error;
    if (!SimulatedDevice::InitialImage(options.HexFile, static_cast<uint32_t>(i + 1), board.Memory, &error)) {
      PrintMessage(MessageLevel::Error, "cannot start the simulated device: %s\n", error.c_str());
      return kExitFile;
    }
    options.Jig.push_back(std::move(board));
  }
  for (const std::string& text : args.JigFaults) {
    const size_t colon = text.find(':');
    int32_t number = 0;
    std::optional<SimFault> fault;
    if (colon != std::string::npos) {
      const auto parsed = std::from_chars(text.data(), text.data() + colon, number);
      if (parsed.ec == std::errc() && parsed.ptr == text.data() + colon)
        fault = ParseSimFault(std::string_view(text).substr(colon + 1));
    }
    if (!fault || number < 1 || number > args.JigBoards) {
      PrintMessage(MessageLevel::Error, "bad --jig-fault '%s': expected BOARD:KIND@COMMAND, BOARD from 1 to %d\n",
                   text.c_str(), args.JigBoards);
      return kExitUsage;
    }
    options.Jig[static_cast<size_t>(number - 1)].Faults.push_back(*fault);
  }
  return kExitOk;
}

// Says when the jig's board changes: the operator's hands, for who watches.
void SayJigBoard(int32_t& shown, int32_t now) {
  if (now == shown) return;
  if (shown >= 0) PrintMessage(MessageLevel::Info, "board %d taken away\n", shown + 1);
  if (now >= 0) PrintMessage(MessageLevel::Info, "board %d switched on\n", now + 1);
  shown = now;
}

void PrintStats(const SimulatedDeviceStats& s) {
  PrintMessage(MessageLevel::Info,
               "served: %lld reads, %lld writes (%lld written, %lld protected), %lld runs, "
               "%lld faults, %lld resets; bytes: %lld in, %lld out, %lld ignored\n",
               static_cast<long long>(s.ReadCommands), static_cast<long long>(s.WriteCommands),
               static_cast<long long>(s.BlocksWritten), static_cast<long long>(s.BlocksProtected),
               static_cast<long long>(s.RunCommands), static_cast<long long>(s.FaultsInjected),
               static_cast<long long>(s.Resets), static_cast<long long>(s.BytesReceived),
               static_cast<long long>(s.BytesSent), static_cast<long long>(s.BytesIgnored));
}

int RunSim(SimArgs& args) {
  SimulatedDeviceOptions& options = args.Options;
  for (const std::string& text : args.Faults) {
    std::optional<SimFault> fault = ParseSimFault(text);
    if (!fault) {
      PrintMessage(MessageLevel::Info,
                   "bad --fault '%s': expected KIND@COMMAND, KIND one of no-answer, "
                   "wrong-answer, short-reply, extra-byte, noise, vanish\n",
                   text.c_str());
      return kExitUsage;
    }
    options.Faults.push_back(*fault);
  }
  if (const int code = SetUpJig(args); code != kExitOk) return code;
  options.ProgramTimeUs = static_cast<int32_t>(args.ProgramMs * 1000.0 + 0.5);
  options.ReplyLatencyUs = static_cast<int32_t>(args.ReplyLatencyMs * 1000.0 + 0.5);
  if (!options.SavePath.empty()) {
    // The device's own file may be its --hex: a device kept between runs.
    ImageFormat format = ImageFormat::Raw;
    const std::string refusal = CheckOutput(options.SavePath, {}, format);
    if (!refusal.empty()) {
      PrintMessage(MessageLevel::Error, "sim: --save %s\n", refusal.c_str());
      return kExitUsage;
    }
    options.SaveFormat = format == ImageFormat::Hex ? SimSaveFormat::Hex : SimSaveFormat::Raw;
  }

  CatchSignals();
  SimulatedDevice device(options);
  std::string error;
  if (!device.Start(&error)) {
    PrintMessage(MessageLevel::Error, "cannot start the simulated device: %s\n", error.c_str());
    return options.HexFile.empty() ? kExitLink : kExitFile;
  }
  PrintResult("%s\n", device.PortPath().c_str());
  if (options.WebSocketPort >= 0) PrintResult("%s\n", device.WebSocketUrl().c_str());

  bool vanished = false;
  int32_t board = -1;
  for (;;) {
    if (!options.Jig.empty()) SayJigBoard(board, device.JigBoardOn());
    const int number = g_Signal.exchange(0);
    if (number == SIGHUP) {
      device.Reset();
      PrintMessage(MessageLevel::Info, "reset\n");
    } else if (number != 0) {
      break;
    }
    if (device.State() == SimState::Vanished) {
      PrintMessage(MessageLevel::Error, "the port has vanished\n");
      vanished = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const SimulatedDeviceStats stats = device.Stats();
  const bool saved = device.Stop(&error);
  PrintStats(stats);
  if (!saved) {
    PrintMessage(MessageLevel::Error, "cannot save the memory: %s\n", error.c_str());
    return kExitFile;
  }
  return vanished ? kExitLink : kExitOk;
}

}  // namespace

void SetUpSim(CLI::App& command) {
  auto args = std::make_shared<SimArgs>();
  SimulatedDeviceOptions& o = args->Options;
  command.add_option("--hex", o.HexFile, "Initial firmware from this HEX file");
  command.add_option("--baud", o.BaudRate, "Emulate the wire time of this baud rate (0: full speed)")
      ->check(CLI::NonNegativeNumber);
  command.add_option("--program-ms", args->ProgramMs, "Flash programming time per written block")
      ->check(FiniteRange(0.0, kMaxProgramMs));
  command.add_option("--fault", args->Faults,
                     "KIND@COMMAND: no-answer, wrong-answer, short-reply, extra-byte, noise or vanish "
                     "at that read or write command (counted from 1); repeatable");
  command.add_option("--noise-bytes", o.NoiseBytes, "Bytes of the noise fault")->check(CLI::Range(1, 4096));
  command.add_option("--reply-latency-ms", args->ReplyLatencyMs, "Answer every frame this much later (a slow adapter)")
      ->check(FiniteRange(0.0, kMaxProgramMs));
  command.add_flag("--require-capture", o.RequireCapture,
                   "After a reset, enter the monitor only when capture bursts arrive in time");
  command.add_option("--capture-window-ms", o.CaptureWindowMs, "How long a reset watches for capture bursts")
      ->check(CLI::Range(1, 600000));
  command.add_option("--power-on-after-ms", o.PowerOnAfterMs, "Start switched off and switch on after this long")
      ->check(CLI::NonNegativeNumber);
  command
      .add_option("--websocket", o.WebSocketPort,
                  "Also serve the line as a WebSocket on 127.0.0.1 at this port (0: a free one) for a web page's "
                  "serial port; its URL is printed after the port's path")
      ->check(CLI::Range(0, 65535));
  command.add_option("--chatter-ms", o.ChatterPeriodMs, "Send idle chatter this often (0: never)")
      ->check(CLI::NonNegativeNumber);
  command.add_option("--chatter-text", o.ChatterText, "What the idle chatter says");
  command
      .add_option("--jig", args->JigBoards,
                  "Play a jig: this many boards (unique identifiers of their own, the --hex firmware) switched "
                  "on one after another, each captured only just after it is switched on")
      ->check(CLI::Range(1, 10000));
  command.add_option("--jig-gap-ms", o.JigGapMs, "With --jig: no board on the line this long between two")
      ->check(CLI::Range(1, 600000));
  command
      .add_option("--jig-stay-ms", o.JigStayMs,
                  "With --jig: take a board away this long after it is switched on (0: only after the run command)")
      ->check(CLI::Range(0, 3600000));
  command
      .add_option("--jig-after-run-ms", o.JigAfterRunMs,
                  "With --jig: take a board away this long after the run command")
      ->check(CLI::Range(0, 600000));
  command.add_option("--jig-fault", args->JigFaults,
                     "With --jig: BOARD:KIND@COMMAND, a fault of that board; repeatable");
  command.add_option("--save", o.SavePath,
                     "Save the memory here at exit: OUT.hex as Intel HEX, OUT.bin as the raw image");
  command.callback([args] { SetExitCode(RunSim(*args)); });
}

}  // namespace tolvane::cli
