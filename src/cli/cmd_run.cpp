// tolvane-cli run: starts the firmware through the monitor.
#include <memory>

#include "command_registry.h"
#include "device_session.h"
#include "exit_codes.h"

namespace tolvane::cli {
namespace {

const CommandRegistrar kRegisterRun([](CLI::App& app) {
  auto options = std::make_shared<DeviceOptions>();
  CLI::App* run = app.add_subcommand("run", "Start the firmware in the device");
  AddDeviceOptions(*run, *options);
  run->callback([options] {
    SetExitCode(WithTrace(*options, [&] {
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
});

}  // namespace
}  // namespace tolvane::cli
