#include "ui/update_options.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "image/firmware_image.h"
#include "session/write_options.h"

namespace tolvane {
namespace {

constexpr const char* kWait = "WaitForMonitor";
constexpr const char* kChangedOnly = "ChangedOnly";
constexpr const char* kBackup = "Backup";
constexpr const char* kKeepData = "KeepData";
constexpr const char* kKeepRanges = "KeepRanges";

// As the parser writes addresses: 0xF000, 0x0400.
QString Hex(int64_t value) {
  return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

// A number as the shared parser reads one (C-style: 0xF000, 61440, 0170000).
bool ReadNumber(const std::string& text, int64_t& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(text.c_str(), &end, 0);
  return errno == 0 && end != nullptr && *end == '\0';
}

// Why the parser refused one item on its own, in the window's words.
QString ItemFault(const std::string& item) {
  const QString quoted = QStringLiteral("«") + QString::fromStdString(item) + QStringLiteral("»");
  const size_t colon = item.find(':');
  int64_t address = 0, length = 0;
  if (colon == std::string::npos || !ReadNumber(item.substr(0, colon), address) ||
      !ReadNumber(item.substr(colon + 1), length))
    return quoted + QStringLiteral(" не в виде АДРЕС:ДЛИНА (числа как 0xF000:256)");
  if (length <= 0) return quoted + QStringLiteral(" ничего не сохраняет: длина должна быть больше 0");
  if (address < 0) return quoted + QStringLiteral(": адрес не может быть отрицательным");
  if (address < kMonitorAreaSize)
    return quoted + QStringLiteral(" заходит в область монитора (ниже %1)").arg(Hex(kMonitorAreaSize));
  if (address + length > kFlashSize)
    return quoted + QStringLiteral(" выходит за конец памяти программ (%1)").arg(Hex(kFlashSize));
  return quoted + QStringLiteral(" не принята");
}

}  // namespace

bool ReadKeepRanges(const std::string& text, std::vector<FlashRange>& ranges, QString& why) {
  ranges.clear();
  // Nothing to keep needs no parser.
  if (QString::fromStdString(text).trimmed().isEmpty()) return true;
  std::string error;
  if (ParseKeepRanges({text}, ranges, &error)) return true;
  // The parser, shared with the command line, words its refusal in English:
  // the item it refuses on its own is the one at fault.
  static const QRegularExpression kSeparators(QStringLiteral("[,; \t]+"));
  std::vector<FlashRange> each, one;
  for (const QString& item : QString::fromStdString(text).split(kSeparators, Qt::SkipEmptyParts)) {
    if (!ParseKeepRanges({item.toStdString()}, one, &error)) {
      why = ItemFault(item.toStdString());
      return false;
    }
    each.insert(each.end(), one.begin(), one.end());
  }
  // Each alone is right: two of them overlap.
  std::sort(each.begin(), each.end(), [](const FlashRange& a, const FlashRange& b) { return a.Begin < b.Begin; });
  for (size_t i = 1; i < each.size(); ++i) {
    if (each[i].Begin < each[i - 1].End) {
      why = QStringLiteral("области с %1 и с %2 перекрываются").arg(Hex(each[i - 1].Begin), Hex(each[i].Begin));
      return false;
    }
  }
  why = QStringLiteral("список не принят");
  return false;
}

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

bool UpdateOptions::Fill(RunKind kind, RunOptions& options, QString& why) const {
  // The firmware's start needs no monitor to wait for: it is sent blind.
  if (kind != RunKind::Run && WaitForMonitor) options.WaitSeconds = kWindowWaitSeconds;
  if (kind != RunKind::Write) return true;
  options.ChangedOnly = ChangedOnly;
  if (Backup) {
    options.BackupDir = BackupFolder().toStdString();
    options.BackupKeep = kWindowBackupsKept;
  }
  return !KeepData || ReadKeepRanges(KeepRanges, options.Keep, why);
}

QString UserDataFolder() { return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation); }

QString BackupFolder() { return QDir(UserDataFolder()).filePath(QStringLiteral("backups")); }

QString HistoryFile() { return QDir(UserDataFolder()).filePath(QStringLiteral("history.csv")); }

}  // namespace tolvane
