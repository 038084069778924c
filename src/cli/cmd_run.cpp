// tolvane-cli run: starts the firmware through the monitor.
#include <memory>

#include "console_output.h"
#include "commands.h"
#include "device_session.h"
#include "exit_codes.h"

namespace tolvane::cli {

void SetUpRun(CLI::App& command) {
  auto options = std::make_shared<DeviceOptions>();
  AddDeviceOptions(command, *options);
  command.callback([options] {
    SetExitCode(WithTrace(*options, {}, [&] {
      SessionSettings settings{*options};
      settings.ShowProgress = false;
      return RunOnPorts(settings, [](PortWork& work) {
        PortReport report;
        report.ExitCode = ExitCodeOf(work.Procs.Run(), kExitLink);
        if (report.ExitCode == kExitOk) report.Lines.push_back("run frame sent: the device starts its firmware");
        return report;
      });
    }));
  });
}

}  // namespace tolvane::cli
