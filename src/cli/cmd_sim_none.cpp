// tolvane-cli sim where the system has no pseudo-terminals to serve it on.
#include "reporter.h"
#include "commands.h"
#include "session/exit_codes.h"

#include <cstdio>

namespace tolvane::cli {

void SetUpSim(CLI::App& command) {
  command.allow_extras();
  command.callback([] {
    PrintMessage(MessageLevel::Error,
                 "sim: serving a device to other programs needs pseudo-terminals, which this system does not "
                 "have; --port sim runs one inside the program\n");
    SetExitCode(kExitUsage);
  });
}

}  // namespace tolvane::cli
