// tolvane-cli read: reads the whole device back; saves it as HEX or as the raw
// image, or prints its dump.
#include <cstdio>
#include <memory>

#include "console_output.h"
#include "commands.h"
#include "device_session.h"
#include "exit_codes.h"
#include "image/dump_composer.h"
#include "log/console_log.h"
#include "output_path.h"

namespace tolvane::cli {
namespace {

struct ReadArgs {
  DeviceOptions Device;
  std::string Output;
  ImageFormat Format = ImageFormat::Hex;
  bool Dump = false;
};

PortReport ReadOne(const ReadArgs& args, PortWork& work) {
  FirmwareImage device;
  PortReport report;
  report.ExitCode = ExitCodeOf(work.Procs.ReadDevice(device), kExitLink);
  if (report.ExitCode != kExitOk) return report;
  report.Lines.push_back("read " + std::to_string(link::kDeviceReads) + " blocks");
  if (!args.Output.empty()) {
    std::string error;
    // Only what the reads fetched: the regions' unread bytes are no data.
    if (WriteImage(args.Output, args.Format, device, error, DeviceReadExtents())) {
      report.Lines.push_back("saved to " + args.Output);
    } else {
      report.Lines.push_back("cannot write " + args.Output + ": " + error);
      report.ExitCode = kExitFile;
    }
  }
  if (args.Dump) {
    // As the window shows a read: the device image against the empty file image.
    const FirmwareImage noFile;
    auto composer = std::make_unique<DumpComposer>();
    composer->Compose(device, noFile, device);
    Write(stdout, DumpForTerminal(*composer, TerminalWantsColor(stdout)));
  }
  return report;
}

}  // namespace

void SetUpRead(CLI::App& command) {
  auto args = std::make_shared<ReadArgs>();
  AddDeviceOptions(command, args->Device);
  command.add_option("-o,--output", args->Output, "Save what was read: OUT.hex as Intel HEX, OUT.bin as the raw image");
  command.add_flag("--dump", args->Dump, "Print the dump of what was read");
  command.callback([args] {
    if (args->Device.Ports.size() > 1 && (!args->Output.empty() || args->Dump)) {
      PrintError("read: -o and --dump take one --port\n");
      SetExitCode(kExitUsage);
      return;
    }
    // The output's name is checked before the device is read.
    if (!args->Output.empty()) {
      const std::string refusal = CheckOutput(args->Output, {}, args->Format);
      if (!refusal.empty()) {
        PrintError("read: -o %s\n", refusal.c_str());
        SetExitCode(kExitUsage);
        return;
      }
    }
    SetExitCode(WithTrace(args->Device, {args->Output}, [&] {
      SessionSettings settings{args->Device};
      return RunOnPorts(settings, [args](PortWork& work) { return ReadOne(*args, work); });
    }));
  });
}

}  // namespace tolvane::cli
