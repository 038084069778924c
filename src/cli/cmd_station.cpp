// tolvane-cli station: a production station. On each --port on its own it
// programs every device that is switched on, records it, and waits for it
// to be taken away; until stopped (Ctrl-C) or until --count devices were
// programmed well.
#include <memory>

#include "commands.h"
#include "device_interrupt.h"
#include "port_runs.h"
#include "reporter.h"
#include "session/exit_codes.h"
#include "session/station.h"
#include "session/write_options.h"
#include "station_board.h"

namespace tolvane::cli {
namespace {

struct StationArgs {
  DeviceOptions Device;
  std::string File;
  bool Force = false;
  int32_t Count = 0;
};

int Station(StationArgs& args) {
  if (!CompleteRunOptions("station", args.Device)) return kExitUsage;
  StationRequest request;
  FirmwareFile file;
  if (!LoadRunFile("station", args.File, file)) return kExitFile;
  if (!AdmitRunFile(file, args.Force)) return kExitFile;
  RecordFile report;
  if (!OpenReport(args.Device, report)) return kExitFile;

  request.Ports = args.Device.Ports;
  request.Labels = PortLabels(args.Device.Ports);
  request.File = &file;
  request.Options = args.Device.Run;
  request.Count = args.Count;
  request.Report = args.Device.Report.empty() ? nullptr : &report;
  request.Stop = &InterruptFlag();

  CatchInterrupt();
  StationBoard board(request.Labels, !args.Device.Verbose && StatusBoardShown());
  const StationResult result = RunStation(request, board);
  board.Finish();
  if (!result.OpenError.empty()) {
    PrintMessage(MessageLevel::Error, "station: cannot open %s\n", result.OpenError.c_str());
    return result.ExitCode;
  }
  PrintResult("%s\n", StationBoard::TotalsLine(result.Totals).c_str());
  if (!result.RecordError.empty())
    PrintMessage(MessageLevel::Error, "station: stopped: the record could not be written: %s\n",
                 result.RecordError.c_str());
  if (args.Device.Json) WriteJsonRecords(result.Records);
  return result.ExitCode;
}

}  // namespace

void SetUpStation(CLI::App& command) {
  auto args = std::make_shared<StationArgs>();
  command.add_option("FILE", args->File, "Intel HEX file")->required();
  AddDeviceOptions(command, args->Device, false);
  AddResultOptions(command, args->Device, true);
  command.add_option("--count", args->Count, "Stop once this many devices were programmed well (0: until Ctrl-C)")
      ->check(CLI::Range(0, 1000000));
  AddWriteOptions(command, args->Device, false);
  command.add_flag("--run", args->Device.Run.RunAfterWrite, "Start each device's firmware after a good write");
  command.add_flag("--force", args->Force, "Write a damaged file without asking");
  command.callback([args] { SetExitCode(WithTrace(args->Device, {args->File}, [&] { return Station(*args); })); });
}

}  // namespace tolvane::cli
