// What a write may do beyond the plain one, as both programs ask for it: the
// ranges of the device's own data that survive it, and the backup made
// before it.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "image/firmware_image.h"
#include "protocol/procedures.h"
#include "session/device_identity.h"

namespace tolvane {

// Ranges given as "ADDR:LEN" (C-style numbers: 0xF000:256, 61440:0x100);
// several in one text are separated by commas or blanks. They must lie in
// the user area of program flash (the monitor's area is the monitor's own),
// be not empty and not overlap. False with the reason.
bool ParseKeepRanges(const std::vector<std::string>& texts, std::vector<FlashRange>& ranges, std::string* error);

// The kept ranges of a text as ParseKeepRanges reads them; a blank text
// keeps nothing. When the text is refused: false, and why in Russian (a
// sentence per kind of fault, naming the item at fault).
bool ReadKeepRanges(const std::string& text, std::vector<FlashRange>& ranges, std::string& why);

// The ranges as the settings store keeps them and the parser reads them.
std::string KeepRangesText(const std::vector<FlashRange>& ranges);

// A backup's file name: the device's unique identifier and the local time,
// "UID-YYYYMMDD-HHMMSS.hex".
std::string BackupName(const DeviceIdentity& device, std::chrono::system_clock::time_point when);

// Saves the device's image (what its reads fetched) as Intel HEX into dir,
// made if missing; keepLast > 0: the oldest backups of the same device
// beyond that many are removed. path: the file once it is written; false
// with the reason otherwise.
bool SaveBackup(const std::string& dir, const FirmwareImage& device, int keepLast, std::string& path,
                std::string* error);

// Where a write's backup goes: files in a folder for the desktop programs
// (FolderBackups), a download and the browser's storage for a web page.
class IBackupStore {
 public:
  virtual ~IBackupStore() = default;
  // Keeps the device's image; where: how the user finds it again (a path, a
  // download's name). False with the reason.
  virtual bool Save(const FirmwareImage& device, std::string& where, std::string* error) = 0;
};

class FolderBackups final : public IBackupStore {
 public:
  FolderBackups(std::string dir, int keepLast) : m_Dir(std::move(dir)), m_KeepLast(keepLast) {}
  bool Save(const FirmwareImage& device, std::string& where, std::string* error) override {
    return SaveBackup(m_Dir, device, m_KeepLast, where, error);
  }

 private:
  std::string m_Dir;
  int m_KeepLast;
};

}  // namespace tolvane
