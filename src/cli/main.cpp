// tolvane-cli: the command-line programmer.
#include "command_registry.h"
#include "exit_codes.h"

namespace tolvane::cli {

std::vector<CommandSetup>& Commands() {
  static std::vector<CommandSetup> commands;
  return commands;
}

namespace {
int g_ExitCode = kExitOk;
}

void SetExitCode(int code) { g_ExitCode = code; }
int ExitCode() { return g_ExitCode; }

}  // namespace tolvane::cli

int main(int argc, char** argv) {
  using namespace tolvane::cli;
  CLI::App app{"tolvane-cli: firmware programmer for PIC18F26K42 devices with a serial boot monitor"};
  app.require_subcommand(1);
  for (const CommandSetup& setup : Commands()) setup(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int rc = app.exit(e);
    return rc == 0 ? kExitOk : kExitUsage;
  }
  return ExitCode();
}
