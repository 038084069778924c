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
  bool ChangedOnly = false;
  std::string BackupDir;
  std::vector<std::string> Keep;
};

int Write(const WriteArgs& args) {
  std::vector<FlashRange> keep;
  std::string error;
  if (!ParseKeepRanges(args.Keep, keep, error)) {
    PrintMessage(MessageLevel::Error, "write: --keep %s\n", error.c_str());
    return kExitUsage;
  }
  if (!args.BackupDir.empty()) {
    if (const std::string refusal = CheckWrittenFolder(args.BackupDir); !refusal.empty()) {
      PrintMessage(MessageLevel::Error, "write: --backup %s\n", refusal.c_str());
      return kExitUsage;
    }
  }
  FirmwareFile file;
  if (!LoadRunFile("write", args.File, file)) return kExitFile;
  if (!AdmitRunFile(file, args.Force)) return kExitFile;
  RunRequest request = RequestFor(RunKind::Write, args.Device, &file);
  request.ChangedOnly = args.ChangedOnly;
  request.Keep = keep;
  request.BackupDir = args.BackupDir;
  return RunOnPorts(PortsRun(args.Device, request));
}

}  // namespace

void SetUpWrite(CLI::App& command) {
  auto args = std::make_shared<WriteArgs>();
  command.add_option("FILE", args->File, "Intel HEX file")->required();
  AddDeviceOptions(command, args->Device);
  AddResultOptions(command, args->Device, true);
  command.add_flag("--force", args->Force, "Write a damaged file without asking");
  command.add_flag("--changed-only", args->ChangedOnly,
                   "Send only the blocks that differ from the file (every block is still read and compared)");
  command.add_option("--backup", args->BackupDir, "Save what the device holds into this folder first, as UID-TIME.hex")
      ->check(NotEmpty());
  command
      .add_option("--keep", args->Keep,
                  "ADDR:LEN (C-style numbers): the device's own bytes there survive the write; repeatable")
      ->allow_extra_args(false)
      ->check(NotEmpty());
  command.callback([args] { SetExitCode(WithTrace(args->Device, {args->File}, [&] { return Write(*args); })); });
}

}  // namespace tolvane::cli
