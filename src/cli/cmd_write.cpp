// tolvane-cli write: writes a HEX file into the device, then verifies it, as
// the window's write button does.
#include <memory>

#include "commands.h"
#include "port_runs.h"
#include "reporter.h"
#include "session/exit_codes.h"

namespace tolvane::cli {
namespace {

struct WriteArgs {
  DeviceOptions Device;
  std::string File;
  bool Force = false;
};

int Write(const WriteArgs& args) {
  FirmwareFile file;
  if (!LoadRunFile("write", args.File, file)) return kExitFile;
  // Admitted once for every port, before any port is opened or captured: a
  // file without program data, or a damaged one without --force, is refused.
  const WriteAdmission admission = AdmitForWrite(&file, [&args](const std::string& question) {
    PrintMessage(MessageLevel::Warning, "%s\n%s\n", question.c_str(),
                 args.Force ? "--force: writing it." : "Not written; give --force to write it anyway.");
    return args.Force;
  });
  if (!admission.Admitted) {
    // Nothing to write is refused with its own words; a suspect file for
    // want of --force, in the words of the question.
    const ProcedureOutcome refusal = admission.Refusal ? *admission.Refusal : SuspectRefusal(file.Load);
    PrintResultLines("", refusal.Caption);
    PrintResultLines("", refusal.Text);
    return kExitFile;
  }
  PortsRun run{args.Device, {RunKind::Write, &file, {}, args.Device.CaptureSeconds}};
  return RunOnPorts(run);
}

}  // namespace

void SetUpWrite(CLI::App& command) {
  auto args = std::make_shared<WriteArgs>();
  command.add_option("FILE", args->File, "Intel HEX file")->required();
  AddDeviceOptions(command, args->Device);
  command.add_flag("--force", args->Force, "Write a damaged file without asking");
  command.callback([args] { SetExitCode(WithTrace(args->Device, {args->File}, [&] { return Write(*args); })); });
}

}  // namespace tolvane::cli
