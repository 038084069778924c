// The HEX file a run writes or verifies, loaded once for every port, with the
// SHA-256 of its bytes computed as they stream in; and the one judgement of
// what the load means for the user.
#pragma once

#include <optional>
#include <string>

#include "image/firmware_image.h"
#include "image/hex_reader.h"

namespace tolvane {

struct FirmwareFile {
  std::string Path;
  FirmwareImage Image;
  HexLoadResult Load;
  std::string Sha256;  // 64 hexadecimal digits; empty when the file could not be read

  // The file's own name, without its folder.
  std::string Name() const;
};

// Loads path into file, with its digest. False when the file could not be
// read; the system's reason is then file.Load.OpenError.
bool LoadFirmwareFile(const std::string& path, FirmwareFile& file);

// What a load means for the user, in the words both programs use.
enum class FileState { Unreadable, NothingToWrite, Suspect, Noted, Sound };
struct FileNotice {
  FileState State = FileState::Sound;
  std::string Text;  // Russian, as the window's box and the command line show it

  // The caption of the box that shows it: "ОШИБКА" for a file that could
  // not be read, "ПРЕДУПРЕЖДЕНИЕ" for the rest.
  const char* Caption() const { return State == FileState::Unreadable ? "ОШИБКА" : "ПРЕДУПРЕЖДЕНИЕ"; }
};

// What a load means, in one judgement for every program.
FileState StateOf(const HexLoadResult& load);

// Nothing for a sound file; else what is wrong and what follows from it
// (a question before the write, no write at all, data that is not written).
std::optional<FileNotice> NoticeOf(const HexLoadResult& load);

}  // namespace tolvane
