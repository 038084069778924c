// tolvane-cli sim where the system has no pseudo-terminals to serve it on.
#include "console_output.h"
#include "commands.h"
#include "exit_codes.h"

#include <cstdio>

namespace tolvane::cli {

void SetUpSim(CLI::App& command) {
  command.allow_extras();
  command.callback([] {
    PrintError(
        "sim: serving a device to other programs needs pseudo-terminals, which this system does not "
        "have; --port sim runs one inside the program\n");
    SetExitCode(kExitUsage);
  });
}

}  // namespace tolvane::cli
