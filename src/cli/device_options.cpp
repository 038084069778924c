#include "device_options.h"
#include "number_checks.h"

namespace tolvane::cli {

void AddDeviceOptions(CLI::App& command, DeviceOptions& options, bool withCapture) {
  command
      .add_option("--port", options.Ports,
                  "Serial port of the device (/dev/ttyUSB0, COM3), or 'sim' for a built-in "
                  "simulated device; repeat it to program several devices at once")
      ->required()
      ->allow_extra_args(false);
  command.add_option("--baud", options.Baud, "Line speed")->check(CLI::Range(50, 4000000));
  command.add_flag("-v,--verbose", options.Verbose, "Print the whole trace on stderr");
  command.add_option("--log", options.LogFile, "Append the trace to this file");
  if (withCapture) {
    command
        .add_option("--capture", options.CaptureSeconds,
                    "Send capture bursts for this many seconds first (reset the device meanwhile)")
        ->check(FiniteRange(0.0, 3600.0));
    command
        .add_option("--wait", options.WaitSeconds,
                    "Wait up to this many seconds for the device's monitor (switch the device on or restart it "
                    "meanwhile), then go on")
        ->check(FiniteRange(0.0, 3600.0));
  }
}

}  // namespace tolvane::cli
