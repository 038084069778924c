// tolvane-cli capture: sends capture bursts and traces what the device sends,
// for putting a device into its monitor while it is reset.
#include <cstdio>
#include <memory>

#include "console_output.h"
#include "commands.h"
#include "device_session.h"
#include "exit_codes.h"
#include "number_checks.h"

namespace tolvane::cli {
namespace {

struct CaptureArgs {
  DeviceOptions Device;
  double Seconds = 0;
};

}  // namespace

void SetUpCapture(CLI::App& command) {
  auto args = std::make_shared<CaptureArgs>();
  AddDeviceOptions(command, args->Device, false);
  command.add_option("--seconds", args->Seconds, "Stop after this long (default: at Ctrl-C)")
      ->check(FiniteRange(0.0, 86400.0));
  command.callback([args] {
    // Tracing what arrives is the point of the command: the trace is always on.
    args->Device.Verbose = true;
    SetExitCode(WithTrace(args->Device, {}, [&] {
      SessionSettings settings{args->Device};
      settings.ShowProgress = false;
      const double seconds = args->Seconds;
      return RunOnPorts(settings, [seconds](PortWork& work) {
        PortReport report;
        ProcedureOutcome failure;
        const std::string prefix = work.Port.Label() + ": ";
        report.ExitCode = CaptureBursts(
            work.Link, seconds,
            [&](const std::string& status) { PrintError("%s%s\n", prefix.c_str(), status.c_str()); }, failure);
        if (report.ExitCode == kExitLink) {
          report.Lines.push_back(failure.Caption);
          report.Lines.push_back(failure.Text);
        }
        return report;
      });
    }));
  });
}

}  // namespace tolvane::cli
