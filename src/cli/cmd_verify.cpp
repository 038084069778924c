// tolvane-cli verify: reads the device back and compares it with a HEX file.
#include <cstdio>
#include <memory>

#include "console_output.h"
#include "commands.h"
#include "device_file.h"
#include "device_session.h"
#include "exit_codes.h"

namespace tolvane::cli {
namespace {

struct VerifyArgs {
  DeviceOptions Device;
  std::string File;
};

int Verify(const VerifyArgs& args) {
  auto file = std::make_shared<FirmwareFile>();
  if (!LoadFirmwareFile("verify", args.File, *file)) return kExitFile;
  if (file->Load.Suspect())
    PrintError("verify: warning: %s is damaged; differences may come from the file\n", args.File.c_str());
  SessionSettings settings{args.Device};
  return RunOnPorts(settings, [file](PortWork& work) {
    FirmwareImage device;
    PortReport report;
    report.ExitCode = ExitCodeOf(work.Procs.Verify(file->Image, device, &file->Load.RegionSet), kExitLink);
    if (report.ExitCode == kExitOk || report.ExitCode == kExitDiffers)
      report.Lines = DifferenceLines(work.Procs.LastCompare());
    return report;
  });
}

}  // namespace

void SetUpVerify(CLI::App& command) {
  auto args = std::make_shared<VerifyArgs>();
  command.add_option("FILE", args->File, "Intel HEX file")->required();
  AddDeviceOptions(command, args->Device);
  command.callback([args] { SetExitCode(WithTrace(args->Device, {args->File}, [&] { return Verify(*args); })); });
}

}  // namespace tolvane::cli
