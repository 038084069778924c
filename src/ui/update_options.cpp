#include "ui/update_options.h"

#include <QDir>
#include <QStandardPaths>

namespace tolvane {
namespace {

constexpr const char* kWait = "WaitForMonitor";
constexpr const char* kChangedOnly = "ChangedOnly";
constexpr const char* kBackup = "Backup";
constexpr const char* kKeepData = "KeepData";
constexpr const char* kKeepRanges = "KeepRanges";

}  // namespace

UpdateOptions UpdateOptions::Load(ISettingsStore& settings) {
  UpdateOptions options;
  options.WaitForMonitor = settings.ReadInt(kUpdateSection, kWait, 0) != 0;
  options.ChangedOnly = settings.ReadInt(kUpdateSection, kChangedOnly, 0) != 0;
  options.Backup = settings.ReadInt(kUpdateSection, kBackup, 0) != 0;
  options.KeepData = settings.ReadInt(kUpdateSection, kKeepData, 0) != 0;
  options.KeepRanges = settings.ReadString(kUpdateSection, kKeepRanges, "");
  return options;
}

void UpdateOptions::Save(ISettingsStore& settings) const {
  settings.WriteInt(kUpdateSection, kWait, WaitForMonitor ? 1 : 0);
  settings.WriteInt(kUpdateSection, kChangedOnly, ChangedOnly ? 1 : 0);
  settings.WriteInt(kUpdateSection, kBackup, Backup ? 1 : 0);
  settings.WriteInt(kUpdateSection, kKeepData, KeepData ? 1 : 0);
  settings.WriteString(kUpdateSection, kKeepRanges, KeepRanges);
}

QString UserDataFolder() { return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation); }

QString BackupFolder() { return QDir(UserDataFolder()).filePath(QStringLiteral("backups")); }

QString HistoryFile() { return QDir(UserDataFolder()).filePath(QStringLiteral("history.csv")); }

}  // namespace tolvane
