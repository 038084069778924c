// What a write may do beyond the plain one, as both programs ask for it: the
// ranges of the device's own data that survive it, and the backup made
// before it.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "image/firmware_image.h"
#include "protocol/procedures.h"
#include "session/device_identity.h"

namespace tolvane {

// Ranges given as "ADDR:LEN" (C-style numbers: 0xF000:256, 61440:0x100);
// several in one text are separated by commas or blanks. They must lie in
// the user area of program flash (the monitor's area is the monitor's own),
// be not empty and not overlap. False with the reason.
bool ParseKeepRanges(const std::vector<std::string>& texts, std::vector<FlashRange>& ranges, std::string& error);

// The ranges as the settings store keeps them and the parser reads them.
std::string KeepRangesText(const std::vector<FlashRange>& ranges);

// A backup's file name: the device's unique identifier and the local time,
// "UID-YYYYMMDD-HHMMSS.hex".
std::string BackupName(const DeviceIdentity& device, std::chrono::system_clock::time_point when);

// Saves the device's image (what its reads fetched) as Intel HEX into dir,
// made if missing; keepLast > 0: the oldest backups of the same device
// beyond that many are removed. Empty on success (path: the file), else the
// reason.
std::string SaveBackup(const std::string& dir, const FirmwareImage& device, int keepLast, std::string& path);

}  // namespace tolvane
