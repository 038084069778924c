// tolvane-cli write: writes a HEX file into the device, then verifies it, as
// the window's write button does.
#include <memory>

#include "commands.h"
#include "output_path.h"
#include "port_runs.h"
#include "reporter.h"
#include "session/exit_codes.h"
#include "session/write_options.h"

namespace tolvane::cli {
namespace {

struct WriteArgs {
  DeviceOptions Device;
  std::string File;
  bool Force = false;
};

int Write(WriteArgs& args) {
  if (!CompleteRunOptions("write", args.Device)) return kExitUsage;
  FirmwareFile file;
  if (!LoadRunFile("write", args.File, file)) return kExitFile;
  if (!AdmitRunFile(file, args.Force)) return kExitFile;
  return RunOnPorts(PortsRun(args.Device, RequestFor(RunKind::Write, args.Device, &file)));
}

}  // namespace

void SetUpWrite(CLI::App& command) {
  auto args = std::make_shared<WriteArgs>();
  command.add_option("FILE", args->File, "Intel HEX file")->required();
  AddDeviceOptions(command, args->Device);
  AddResultOptions(command, args->Device, true);
  command.add_flag("--force", args->Force, "Write a damaged file without asking");
  AddWriteOptions(command, args->Device, true);
  command.callback([args] { SetExitCode(WithTrace(args->Device, {args->File}, [&] { return Write(*args); })); });
}

}  // namespace tolvane::cli
