// tolvane-cli write: writes a HEX file into the device, then verifies it, as
// the window's write button does.
#include <memory>

#include "console_output.h"
#include "commands.h"
#include "device_file.h"
#include "device_session.h"
#include "exit_codes.h"

namespace tolvane::cli {
namespace {

struct WriteArgs {
  DeviceOptions Device;
  std::string File;
  bool Force = false;
};

int Write(const WriteArgs& args) {
  auto file = std::make_shared<FirmwareFile>();
  if (!LoadFirmwareFile("write", args.File, *file)) return kExitFile;
  // Admitted once for every port, before any port is opened or captured: a
  // file without program data, or a damaged one without --force, is refused.
  PrintingObserver admission(args.Force);
  if (!AdmitFile(&file->Load, admission)) {
    // Nothing to write is refused with its own words; a suspect file is
    // refused for want of --force, in the words of the question.
    if (!file->Load.NothingToWrite()) admission.Outcome(SuspectRefusal(file->Load));
    return kExitFile;
  }
  SessionSettings settings{args.Device, args.Force, link::kFlashWriteBlocks};
  return RunOnPorts(settings, [file](PortWork& work) {
    FirmwareImage device;
    PortReport report;
    ProcedureStatus status = work.Procs.WriteDevice(file->Image, &file->Load, device, Admission::Done);
    report.ExitCode = ExitCodeOf(status, kExitFile);
    const WriteCounts& w = work.Procs.LastWrite();
    if (w.BlocksSent > 0) {
      report.Lines.push_back("blocks sent: " + std::to_string(w.BlocksSent) +
                             ", protected: " + std::to_string(w.ProtectedBlocks));
    }
    if (report.ExitCode == kExitOk || report.ExitCode == kExitDiffers) {
      for (std::string& line : DifferenceLines(work.Procs.LastCompare())) report.Lines.push_back(std::move(line));
    }
    return report;
  });
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
