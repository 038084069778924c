// tolvane-cli: the command-line programmer.
#include "command_line.h"
#include "commands.h"
#include "reporter.h"
#include "device_interrupt.h"
#include "session/exit_codes.h"

#include <cstring>
#include <string>
#include <vector>

namespace tolvane::cli {
namespace {

struct Command {
  const char* Name;
  const char* Summary;
  void (*SetUp)(CLI::App& command);
};

// Every command, in the order --help lists them.
constexpr Command kCommands[] = {
    {"load", "Load an Intel HEX file as the programmer would and sum it up", SetUpLoad},
    {"write", "Write a HEX file into the device, then verify it", SetUpWrite},
    {"verify", "Read the device back and compare it with a HEX file", SetUpVerify},
    {"read", "Read the whole device back", SetUpRead},
    {"run", "Start the firmware in the device", SetUpRun},
    {"station", "Program every device switched on at the ports, with a record of each, until stopped", SetUpStation},
    {"capture", "Send capture bursts while tracing what arrives (reset the device meanwhile)", SetUpCapture},
    {"ports", "List the serial ports that are present, with their device names", SetUpPorts},
    {"sim", "Serve a simulated device on a pseudo-terminal until interrupted", SetUpSim},
};

int g_ExitCode = kExitOk;

// Whether the command's options (up to a "--") hold --json: also known when
// the command line could not be parsed.
bool JsonAsked(int argc, const char* const* argv) {
  for (int i = 2; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
    if (std::strcmp(argv[i], "--json") == 0) return true;
  return false;
}

}  // namespace

void SetExitCode(int code) { g_ExitCode = code; }

}  // namespace tolvane::cli

int main(int rawArgc, char** rawArgv) {
  using namespace tolvane;
  using namespace tolvane::cli;
  IgnoreOutputSignals();
  const std::vector<std::string> arguments = CommandLineArguments(rawArgc, rawArgv);
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  const int argc = static_cast<int>(argv.size());
  CLI::App app{"tolvane-cli: firmware programmer for PIC18F26K42 devices with a serial boot monitor"};
  app.set_version_flag("--version", "tolvane-cli " TOLVANE_VERSION);
  app.require_subcommand(1);
  // Only the command asked for gets its options: setting them all up costs
  // more than a short command's own work. Without a known command, all are
  // set up, so that help and errors are complete.
  const Command* chosen = nullptr;
  for (const Command& command : kCommands)
    if (argc > 1 && std::strcmp(argv[1], command.Name) == 0) chosen = &command;
  for (const Command& command : kCommands) {
    CLI::App* sub = app.add_subcommand(command.Name, command.Summary);
    if (chosen == nullptr || chosen == &command) command.SetUp(*sub);
  }
  try {
    app.parse(argc, argv.data());
  } catch (const CLI::ParseError& e) {
    if (app.exit(e) == 0) return kExitOk;  // --help, --version
    // A command line that asked for JSON gets its document even so.
    if (JsonAsked(argc, argv.data())) {
      NoteError(e.what());
      WriteJsonFailure(kExitUsage);
    }
    return kExitUsage;
  }
  // Output that did not arrive is an output error, never a silent success.
  if (const std::string failure = OutputFailure(); !failure.empty()) {
    PrintMessage(MessageLevel::Error, "tolvane-cli: the output could not be written: %s\n", failure.c_str());
    if (g_ExitCode == kExitOk) g_ExitCode = kExitFile;
  }
  if (JsonAsked(argc, argv.data())) WriteJsonFailure(g_ExitCode);
  return g_ExitCode;
}
