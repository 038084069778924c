// tolvane-cli load: loads a HEX file as the programmer would, sums the load
// up, and can write the image out or print its dump.
#include "commands.h"
#include "exit_codes.h"
#include "trace_routing.h"

#include "image/dump_composer.h"
#include "image/hex_reader.h"
#include "image/hex_writer.h"
#include "log/console_log.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace tolvane::cli {
namespace {

enum class OutputKind { None, Hex, Raw, Unknown };

OutputKind KindOf(const std::string& path) {
  if (path.empty()) return OutputKind::None;
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos) return OutputKind::Unknown;
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext == "hex" || ext == "ihex") return OutputKind::Hex;
  if (ext == "bin") return OutputKind::Raw;
  return OutputKind::Unknown;
}

void PrintSummary(std::FILE* out, const std::string& path, const HexLoadResult& result) {
  std::fprintf(out, "%s\n  bytes stored: %d (program flash %d, regions %d)\n  records: %d\n", path.c_str(),
               result.BytesStored + result.RegionBytesStored, result.BytesStored, result.RegionBytesStored,
               result.Records);
  std::fprintf(out, "  damaged records: %d", result.DamagedRecords);
  if (result.DamagedRecords > 0) {
    const std::string_view fault = HexFaultName(result.FirstFault);
    std::fprintf(out, " (first on line %d: %.*s)", result.FirstDamagedLine, static_cast<int>(fault.size()),
                 fault.data());
  }
  std::fprintf(out, "\n  dropped bytes: %d\n", result.DroppedBytes);
  if (result.MissingEndRecord()) std::fprintf(out, "  no end-of-file record: the file may be cut short\n");
  if (result.NothingToWrite()) {
    std::fprintf(out, "error: no program-flash data: nothing to write to a device\n");
  } else if (result.Suspect()) {
    std::fprintf(out, "warning: the image is suspect; writing it to a device asks for confirmation\n");
  }
}

struct LoadOptions {
  std::string file;
  std::string output;
  bool dump = false;
  bool verbose = false;
};

int RunLoad(const LoadOptions& options) {
  const OutputKind kind = KindOf(options.output);
  if (kind == OutputKind::Unknown) {
    std::fprintf(stderr, "load: -o %s: the output must end in .hex or .bin\n", options.output.c_str());
    return kExitUsage;
  }

  FirmwareImage image;
  HexLoadResult result;
  {
    TraceRouting trace(options.verbose, {});
    result = LoadHexFile(options.file, image);
  }
  // Nothing is written for a file that could not be read: a blank image
  // would only overwrite a good output.
  if (!result.FileRead) {
    std::fprintf(stderr, "load: cannot read %s: %s\n", options.file.c_str(), result.OpenError.c_str());
    return kExitFile;
  }

  // With --dump the dump owns stdout and the summary goes to stderr.
  PrintSummary(options.dump ? stderr : stdout, options.file, result);

  int code = result.Suspect() || result.NothingToWrite() ? kExitFile : kExitOk;
  // An image without program data is as blank as an unread file's: it is not
  // written over a good output either.
  if (kind != OutputKind::None && !result.NothingToWrite()) {
    std::string error;
    const bool written = kind == OutputKind::Hex ? WriteHexFile(options.output, image, &error)
                                                 : WriteRawImage(options.output, image, &error);
    if (!written) {
      std::fprintf(stderr, "load: cannot write %s: %s\n", options.output.c_str(), error.c_str());
      code = kExitFile;
    }
  }

  if (options.dump) {
    // Against a blank device image every byte the file sets is marked.
    const FirmwareImage blank;
    auto composer = std::make_unique<DumpComposer>();
    composer->Compose(image, image, blank);
    const bool marked = TerminalWantsColor(stdout);
    const std::string text = DumpForTerminal(*composer, marked);
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  std::fflush(stdout);
  return code;
}

}  // namespace

void SetUpLoad(CLI::App& command) {
  auto options = std::make_shared<LoadOptions>();
  command.add_option("FILE", options->file, "Intel HEX file")->required();
  command.add_option("-o,--output", options->output,
                     "Write the image: OUT.hex as Intel HEX, OUT.bin as the raw 66048-byte image");
  command.add_flag("--dump", options->dump, "Print the dump of the image (the summary then goes to stderr)");
  command.add_flag("-v,--verbose", options->verbose, "Trace the load on stderr");
  command.callback([options] { SetExitCode(RunLoad(*options)); });
}

}  // namespace tolvane::cli
