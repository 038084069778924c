// tolvane-cli capture: sends capture bursts and traces what the device sends,
// for putting a device into its monitor while it is reset.
#include <memory>

#include "commands.h"
#include "number_checks.h"
#include "port_runs.h"

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
      args->Device.Run.CaptureSeconds = args->Seconds;
      return RunOnPorts(PortsRun(args->Device, RequestFor(RunKind::Capture, args->Device), false));
    }));
  });
}

}  // namespace tolvane::cli
