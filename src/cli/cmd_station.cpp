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
  bool ChangedOnly = false;
  bool Run = false;
  int32_t Count = 0;
  std::vector<std::string> Keep;
};

int Station(const StationArgs& args) {
  StationRequest request;
  std::string error;
  if (!ParseKeepRanges(args.Keep, request.Keep, error)) {
    PrintMessage(MessageLevel::Error, "station: --keep %s\n", error.c_str());
    return kExitUsage;
  }
  FirmwareFile file;
  if (!LoadRunFile("station", args.File, file)) return kExitFile;
  if (!AdmitRunFile(file, args.Force)) return kExitFile;
  RecordFile report;
  if (!args.Device.Report.empty() && !report.Open(args.Device.Report, error)) {
    PrintMessage(MessageLevel::Error, "station: --report %s\n", error.c_str());
    return kExitFile;
  }

  request.Ports = args.Device.Ports;
  request.Labels = PortLabels(args.Device.Ports);
  request.Baud = args.Device.Baud;
  request.File = &file;
  request.ChangedOnly = args.ChangedOnly;
  request.Run = args.Run;
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
  command.add_flag("--changed-only", args->ChangedOnly,
                   "Send only the blocks that differ from the file (every block is still read and compared)");
  command
      .add_option("--keep", args->Keep,
                  "ADDR:LEN (C-style numbers): each device's own bytes there survive the write; repeatable")
      ->allow_extra_args(false)
      ->check(NotEmpty());
  command.add_flag("--run", args->Run, "Start each device's firmware after a good write");
  command.add_flag("--force", args->Force, "Write a damaged file without asking");
  command.callback([args] { SetExitCode(WithTrace(args->Device, {args->File}, [&] { return Station(*args); })); });
}

}  // namespace tolvane::cli
