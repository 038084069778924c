#include "ui/hex_file_selection.h"

#include <QDir>
#include <QSysInfo>

#include "session/firmware_file.h"

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
  const std::optional<FileNotice> notice = NoticeOf(load);
  if (!notice) return std::nullopt;
  MessageRequest box;
  box.Text = QString::fromStdString(notice->Text);
  box.Caption = QString::fromUtf8(notice->Caption());
  box.Icon = notice->State == FileState::Unreadable ? MessageIcon::Error : MessageIcon::Exclamation;
  return box;
}

}  // namespace tolvane
