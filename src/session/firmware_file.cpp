#include "session/firmware_file.h"

#include "session/sha256.h"

namespace tolvane {

std::string FirmwareFile::Name() const {
  const size_t slash = Path.find_last_of("/\\");
  return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

bool LoadFirmwareFile(const std::string& path, FirmwareFile& file, bool withDigest) {
  file.Path = path;
  file.Sha256.clear();
  if (!withDigest) {
    file.Load = LoadHexFile(path, file.Image);
    return file.Load.FileRead;
  }
  Sha256 digest;
  file.Load = LoadHexFile(path, file.Image, [&digest](std::string_view bytes) { digest.Add(bytes); });
  if (file.Load.FileRead) file.Sha256 = digest.HexDigest();
  return file.Load.FileRead;
}

std::optional<FileNotice> NoticeOf(const HexLoadResult& load) {
  if (!load.FileRead)
    return FileNotice{FileState::Unreadable, "Не удалось прочитать файл прошивки!\n" + load.OpenError};
  if (load.NothingToWrite())
    return FileNotice{FileState::NothingToWrite, "В файле нет данных программы, записывать нечего."};
  const std::string eeprom = EepromNote(load);
  if (load.Suspect()) {
    std::string text = SuspectFileText(load) + "\nПеред записью будет задан вопрос.";
    if (!eeprom.empty()) text += "\n" + eeprom;
    return FileNotice{FileState::Suspect, std::move(text)};
  }
  if (!eeprom.empty()) return FileNotice{FileState::Noted, eeprom};
  return std::nullopt;
}

}  // namespace tolvane
