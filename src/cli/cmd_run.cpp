// tolvane-cli run: starts the firmware through the monitor.
#include <memory>

#include "commands.h"
#include "port_runs.h"

namespace tolvane::cli {

void SetUpRun(CLI::App& command) {
  auto options = std::make_shared<DeviceOptions>();
  AddDeviceOptions(command, *options);
  AddResultOptions(command, *options, false);
  command.callback([options] {
    SetExitCode(WithTrace(*options, {},
                          [&] { return RunOnPorts(PortsRun(*options, RequestFor(RunKind::Run, *options), false)); }));
  });
}

}  // namespace tolvane::cli
