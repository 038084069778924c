#include "session/firmware_file.h"

#include "session/sha256.h"

namespace tolvane {

std::string FirmwareFile::Name() const {
  const size_t slash = Path.find_last_of("/\\");
  return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

bool LoadFirmwareFile(const std::string& path, FirmwareFile& file) {
  file.Path = path;
  file.Sha256.clear();
  Sha256 digest;
  file.Load = LoadHexFile(path, file.Image, [&digest](std::string_view bytes) { digest.Add(bytes); });
  if (file.Load.FileRead) file.Sha256 = digest.HexDigest();
  return file.Load.FileRead;
}

FileState StateOf(const HexLoadResult& load) {
  if (!load.FileRead) return FileState::Unreadable;
  if (load.NothingToWrite()) return FileState::NothingToWrite;
  if (load.Suspect()) return FileState::Suspect;
  return load.EepromBytes > 0 ? FileState::Noted : FileState::Sound;
}

std::optional<FileNotice> NoticeOf(const HexLoadResult& load) {
  const std::string eeprom = EepromNote(load);
  switch (StateOf(load)) {
    case FileState::Unreadable:
      return FileNotice{FileState::Unreadable, "Не удалось прочитать файл прошивки!\n" + load.OpenError};
    case FileState::NothingToWrite:
      return FileNotice{FileState::NothingToWrite, "В файле нет данных программы, записывать нечего."};
    case FileState::Suspect: {
      std::string text = SuspectFileText(load) + "\nПеред записью будет задан вопрос.";
      if (!eeprom.empty()) text += "\n" + eeprom;
      return FileNotice{FileState::Suspect, std::move(text)};
    }
    case FileState::Noted: return FileNotice{FileState::Noted, eeprom};
    case FileState::Sound: break;
  }
  return std::nullopt;
}

}  // namespace tolvane
