// tolvane-cli load: loads a HEX file as the programmer would, sums the load
// up, and can write the image out or print its dump.
#include "commands.h"
#include "device_options.h"
#include "reporter.h"
#include "session/exit_codes.h"
#include "output_path.h"
#include "trace_routing.h"

#include "image/dump_composer.h"
#include "log/console_log.h"
#include "session/firmware_file.h"

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

namespace tolvane::cli {
namespace {

std::string Summary(const std::string& path, const std::string& sha256, const HexLoadResult& result) {
  std::string text = path + "\n  sha256: " + sha256 +
                     "\n  bytes stored: " + std::to_string(result.BytesStored + result.RegionBytesStored) +
                     " (program flash " + std::to_string(result.BytesStored) + ", regions " +
                     std::to_string(result.RegionBytesStored) + ")\n  records: " + std::to_string(result.Records) +
                     "\n  damaged records: " + std::to_string(result.DamagedRecords);
  if (result.DamagedRecords > 0)
    text += " (first on line " + std::to_string(result.FirstDamagedLine) + ": " +
            std::string(HexFaultName(result.FirstFault)) + ")";
  text += "\n  dropped bytes: " + std::to_string(result.DroppedBytes);
  if (result.DroppedBytes > 0) text += " (outside this device's memory: the file may be for another microcontroller)";
  text += "\n";
  if (result.EepromBytes > 0)
    text += "  data EEPROM bytes: " + std::to_string(result.EepromBytes) +
            " (not written: the monitor writes the program flash only)\n";
  if (result.MissingEndRecord()) text += "  no end-of-file record: the file may be cut short\n";
  switch (StateOf(result)) {
    case FileState::NothingToWrite: text += "error: no program-flash data: nothing to write to a device\n"; break;
    case FileState::Suspect:
      text += "warning: the image is suspect; writing it to a device asks for confirmation\n";
      break;
    default: break;
  }
  return text;
}

// The summary's facts by name, for --json.
nlohmann::ordered_json SummaryJson(const FirmwareFile& file) {
  const HexLoadResult& result = file.Load;
  nlohmann::ordered_json json;
  json["file"] = file.Path;
  json["sha256"] = file.Sha256;
  json["bytes_stored"] = result.BytesStored + result.RegionBytesStored;
  json["program_flash_bytes"] = result.BytesStored;
  json["region_bytes"] = result.RegionBytesStored;
  json["records"] = result.Records;
  json["damaged_records"] = result.DamagedRecords;
  json["first_damaged_line"] = result.DamagedRecords > 0 ? nlohmann::ordered_json(result.FirstDamagedLine) : nullptr;
  json["first_fault"] =
      result.DamagedRecords > 0 ? nlohmann::ordered_json(std::string(HexFaultName(result.FirstFault))) : nullptr;
  json["dropped_bytes"] = result.DroppedBytes;
  json["eeprom_bytes"] = result.EepromBytes;
  json["end_record"] = !result.MissingEndRecord();
  json["nothing_to_write"] = result.NothingToWrite();
  json["suspect"] = result.Suspect();
  return json;
}

struct LoadOptions {
  std::string file;
  std::string output;
  bool dump = false;
  bool verbose = false;
  bool force = false;
  bool json = false;
};

int RunLoad(const LoadOptions& options) {
  ImageFormat format = ImageFormat::Hex;
  if (!options.output.empty()) {
    const std::string refusal = CheckOutput(options.output, {options.file}, format);
    if (!refusal.empty()) {
      PrintMessage(MessageLevel::Error, "load: -o %s\n", refusal.c_str());
      return kExitUsage;
    }
  }

  FirmwareFile file;
  {
    TraceRouting trace(options.verbose, {});
    LoadFirmwareFile(options.file, file);
  }
  const HexLoadResult& result = file.Load;
  const FirmwareImage& image = file.Image;
  // Nothing is written for a file that could not be read: a blank image
  // would only overwrite a good output.
  if (!result.FileRead) {
    PrintMessage(MessageLevel::Error, "load: cannot read %s: %s\n", options.file.c_str(), result.OpenError.c_str());
    return kExitFile;
  }

  // With --dump the dump owns stdout and the summary goes to stderr.
  if (options.dump) {
    WriteMessage(MessageLevel::Info, Summary(options.file, file.Sha256, result));
  } else {
    WriteResult(Summary(options.file, file.Sha256, result));
  }

  const FileState state = StateOf(result);
  int code = state == FileState::Suspect || state == FileState::NothingToWrite ? kExitFile : kExitOk;
  if (!options.output.empty()) {
    std::string error;
    if (state == FileState::NothingToWrite) {
      // An image without program data is as blank as an unread file's: it
      // is not written over a good output either.
      PrintMessage(MessageLevel::Error, "load: %s not written: the file has no program data\n", options.output.c_str());
    } else if (state == FileState::Suspect && !options.force) {
      // Written out, a damaged file would look whole and be written to a
      // device without a question.
      PrintMessage(MessageLevel::Error, "load: %s not written: the file is suspect (give --force to write it anyway)\n",
                   options.output.c_str());
    } else if (!WriteImage(options.output, format, image, error)) {
      PrintMessage(MessageLevel::Error, "load: cannot write %s: %s\n", options.output.c_str(), error.c_str());
      code = kExitFile;
    }
  }

  if (options.dump) {
    // Against a blank device image every byte the file sets is marked.
    const FirmwareImage blank;
    auto composer = std::make_unique<DumpComposer>();
    composer->Compose(image, image, blank);
    WriteResult(DumpForTerminal(*composer, ResultColors()));
  }
  if (options.json) WriteJson(SummaryJson(file));
  return code;
}

}  // namespace

void SetUpLoad(CLI::App& command) {
  auto options = std::make_shared<LoadOptions>();
  command.add_option("FILE", options->file, "Intel HEX file")->required();
  command
      .add_option("-o,--output", options->output,
                  "Write the image: OUT.hex as Intel HEX, OUT.bin as the raw 66048-byte image")
      ->check(NotEmpty());
  command.add_flag("--force", options->force, "With -o: write the image of a suspect file too");
  command.add_flag("--dump", options->dump, "Print the dump of the image (the summary then goes to stderr)");
  command.add_flag("-v,--verbose", options->verbose, "Trace the load on stderr");
  AddJsonOption(command, options->json);
  command.callback([options] {
    SetJsonOutput(options->json);
    SetExitCode(RunLoad(*options));
  });
}

}  // namespace tolvane::cli
