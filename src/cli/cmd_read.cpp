// tolvane-cli read: reads the whole device back; saves it as HEX or as the raw
// image, or prints its dump.
#include <cstdio>
#include <memory>

#include "commands.h"
#include "device_session.h"
#include "exit_codes.h"
#include "image/dump_composer.h"
#include "image/hex_writer.h"

#include <unistd.h>

namespace tolvane::cli {
namespace {

struct ReadArgs {
  DeviceOptions Device;
  std::string Output;
  bool Dump = false;
};

bool EndsWith(const std::string& text, const char* tail) {
  const std::string t = tail;
  return text.size() >= t.size() && text.compare(text.size() - t.size(), t.size(), t) == 0;
}

PortReport ReadOne(const ReadArgs& args, PortWork& work) {
  FirmwareImage device;
  PortReport report;
  report.ExitCode = ExitCodeOf(work.Procs.ReadDevice(device), kExitLink);
  if (report.ExitCode != kExitOk) return report;
  report.Lines.push_back("read " + std::to_string(link::kDeviceReads) + " blocks");
  if (!args.Output.empty()) {
    std::string error;
    const bool raw = EndsWith(args.Output, ".bin");
    const bool saved = raw ? WriteRawImage(args.Output, device, &error) : WriteHexFile(args.Output, device, &error);
    if (saved) {
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
    const std::string text = DumpForTerminal(*composer, isatty(STDOUT_FILENO) != 0);
    std::fwrite(text.data(), 1, text.size(), stdout);
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
      std::fprintf(stderr, "read: -o and --dump take one --port\n");
      SetExitCode(kExitUsage);
      return;
    }
    SetExitCode(WithTrace(args->Device, [&] {
      SessionSettings settings{args->Device};
      return RunOnPorts(settings, [args](PortWork& work) { return ReadOne(*args, work); });
    }));
  });
}

}  // namespace tolvane::cli
