#include "ui/hex_file_selection.h"

#include <QDir>
#include <QStringList>
#include <QSysInfo>

#include "image/hex_reader.h"

namespace tolvane {

namespace {
qsizetype NameOffset(const QString& path) {
  qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  qsizetype backslash = path.lastIndexOf(QLatin1Char('\\'));
  return std::max(slash, backslash) + 1;
}
}  // namespace

QString DefaultHexFolder() {
  if (QSysInfo::productType() == QLatin1String("windows")) return QStringLiteral("d:\\data");
  return QDir::homePath();
}

FileRequest HexFileRequest(const QString& folder) {
  FileRequest request;
  request.Title = QStringLiteral("Выбирете имя файла с прошивкой");
  request.Folder = folder;
  request.Filters = {QStringLiteral("Файлы прошивки (*.hex)"), QStringLiteral("HEX - файлы (*.hex)"),
                     QStringLiteral("Все файлы (*)")};
  // A file without an extension is read as Intel HEX too: the name is taken
  // as typed, never completed.
  return request;
}

QString FolderOfPath(const QString& path) {
  qsizetype name = NameOffset(path);
  if (name <= 0) return QString();
  QString folder = path.left(name - 1);
  // A POSIX root has nothing in front of its separator.
  if (folder.isEmpty()) return path.left(name);
  return folder;
}

QString UpperExtensionOf(const QString& path) {
  QString name = path.mid(NameOffset(path));
  qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  if (dot < 0) return QString();
  return name.mid(dot + 1).toUpper();
}

std::optional<MessageRequest> LoadWarning(const HexLoadResult& load) {
  MessageRequest box;
  box.Icon = MessageIcon::Exclamation;
  if (!load.FileRead) {
    box.Caption = QStringLiteral("ОШИБКА");
    box.Icon = MessageIcon::Error;
    box.Text = QStringLiteral("Не удалось прочитать файл прошивки!\n") + QString::fromStdString(load.OpenError);
    return box;
  }
  if (load.NothingToWrite()) {
    box.Caption = QStringLiteral("ПРЕДУПРЕЖДЕНИЕ");
    box.Text = QStringLiteral("В файле нет данных программы, записывать нечего.");
    return box;
  }
  const QString eeprom = QString::fromStdString(EepromNote(load));
  if (!load.Suspect() && eeprom.isEmpty()) return std::nullopt;
  box.Caption = QStringLiteral("ПРЕДУПРЕЖДЕНИЕ");
  QStringList lines;
  if (load.Suspect()) {
    // The words of the question that the write will ask.
    lines << QString::fromStdString(SuspectFileText(load)) << QStringLiteral("Перед записью будет задан вопрос.");
  }
  if (!eeprom.isEmpty()) lines << eeprom;
  box.Text = lines.join(QLatin1Char('\n'));
  return box;
}

}  // namespace tolvane
