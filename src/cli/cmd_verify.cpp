// tolvane-cli verify: reads the device back and compares it with a HEX file.
#include <memory>

#include "commands.h"
#include "port_runs.h"
#include "reporter.h"
#include "session/exit_codes.h"

namespace tolvane::cli {
namespace {

struct VerifyArgs {
  DeviceOptions Device;
  std::string File;
};

int Verify(const VerifyArgs& args) {
  FirmwareFile file;
  if (!LoadRunFile("verify", args.File, file)) return kExitFile;
  if (file.Load.Suspect())
    PrintMessage(MessageLevel::Warning, "verify: warning: %s is damaged; differences may come from the file\n",
                 args.File.c_str());
  return RunOnPorts(PortsRun(args.Device, RequestFor(RunKind::Verify, args.Device, &file)));
}

}  // namespace

void SetUpVerify(CLI::App& command) {
  auto args = std::make_shared<VerifyArgs>();
  command.add_option("FILE", args->File, "Intel HEX file")->required();
  AddDeviceOptions(command, args->Device);
  AddResultOptions(command, args->Device, true);
  command.callback([args] { SetExitCode(WithTrace(args->Device, {args->File}, [&] { return Verify(*args); })); });
}

}  // namespace tolvane::cli
