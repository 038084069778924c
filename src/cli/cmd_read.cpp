// tolvane-cli read: reads the whole device back; saves it as HEX or as the raw
// image, or prints its dump.
#include <memory>

#include "commands.h"
#include "output_path.h"
#include "port_runs.h"
#include "reporter.h"
#include "image/dump_composer.h"
#include "session/exit_codes.h"

namespace tolvane::cli {
namespace {

struct ReadArgs {
  DeviceOptions Device;
  std::string Output;
  ImageFormat Format = ImageFormat::Hex;
  bool Dump = false;
};

void SaveAndShow(const ReadArgs& args, const RunResult& result, const FirmwareImage& device,
                 std::vector<std::string>& lines, int& code) {
  if (code != kExitOk || result.Kind != RunKind::Read) return;
  if (!args.Output.empty()) {
    std::string error;
    // Only what the reads fetched: the regions' unread bytes are no data.
    if (WriteImage(args.Output, args.Format, device, error, DeviceReadExtents())) {
      lines.push_back("saved to " + args.Output);
    } else {
      lines.push_back("cannot write " + args.Output + ": " + error);
      code = kExitFile;
    }
  }
  if (args.Dump) {
    // As the window shows a read: the device image against the empty file image.
    const FirmwareImage noFile;
    auto composer = std::make_unique<DumpComposer>();
    composer->Compose(device, noFile, device);
    WriteResult(DumpForTerminal(*composer, ResultColors()));
  }
}

}  // namespace

void SetUpRead(CLI::App& command) {
  auto args = std::make_shared<ReadArgs>();
  AddDeviceOptions(command, args->Device);
  AddResultOptions(command, args->Device, false);
  command.add_option("-o,--output", args->Output, "Save what was read: OUT.hex as Intel HEX, OUT.bin as the raw image")
      ->check(NotEmpty());
  command.add_flag("--dump", args->Dump, "Print the dump of what was read");
  command.callback([args] {
    if (args->Device.Ports.size() > 1 && (!args->Output.empty() || args->Dump)) {
      PrintMessage(MessageLevel::Error, "read: -o and --dump take one --port\n");
      SetExitCode(kExitUsage);
      return;
    }
    // The output's name is checked before the device is read.
    if (!args->Output.empty()) {
      const std::string refusal = CheckOutput(args->Output, {}, args->Format);
      if (!refusal.empty()) {
        PrintMessage(MessageLevel::Error, "read: -o %s\n", refusal.c_str());
        SetExitCode(kExitUsage);
        return;
      }
    }
    SetExitCode(WithTrace(args->Device, {args->Output}, [&] {
      PortsRun run(args->Device, RequestFor(RunKind::Read, args->Device));
      run.After = [args](const RunResult& result, const FirmwareImage& device, std::vector<std::string>& lines,
                         int& code) { SaveAndShow(*args, result, device, lines, code); };
      return RunOnPorts(run);
    }));
  });
}

}  // namespace tolvane::cli
