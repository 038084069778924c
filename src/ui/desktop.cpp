#include "ui/desktop.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace tolvane {

namespace {

MessageAnswer DesktopMessage(QWidget* owner, const MessageRequest& request) {
  QMessageBox box(owner);
  // Modal to its owner only: the log window stays usable meanwhile.
  if (owner != nullptr) box.setWindowModality(Qt::WindowModal);
  box.setWindowTitle(request.Caption);
  box.setText(request.Text);
  switch (request.Icon) {
    case MessageIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case MessageIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
  }
  switch (request.Buttons) {
    case MessageButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MessageButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MessageButtons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
  }
  switch (request.Default) {
    case MessageAnswer::Ok: box.setDefaultButton(QMessageBox::Ok); break;
    case MessageAnswer::Yes: box.setDefaultButton(QMessageBox::Yes); break;
    case MessageAnswer::No: box.setDefaultButton(QMessageBox::No); break;
    case MessageAnswer::Cancel: box.setDefaultButton(QMessageBox::Cancel); break;
  }
  switch (box.exec()) {
    case QMessageBox::Yes: return MessageAnswer::Yes;
    case QMessageBox::No: return MessageAnswer::No;
    case QMessageBox::Cancel: return MessageAnswer::Cancel;
    default: return request.Buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
  }
}

std::optional<QString> Chosen(const QString& path) {
  if (path.isEmpty()) return std::nullopt;
  return path;
}

void ConfigureDialog(QFileDialog& dialog, const FileRequest& request) {
  dialog.setWindowTitle(request.Title);
  dialog.setDirectory(request.Folder);
  dialog.setNameFilters(request.Filters);
  if (!request.Filters.isEmpty()) dialog.selectNameFilter(request.Filters.front());
  dialog.setDefaultSuffix(request.DefaultSuffix);
  dialog.setWindowModality(Qt::WindowModal);
}

std::optional<QString> DesktopChooseFile(QWidget* owner, const FileRequest& request) {
  QFileDialog dialog(owner);
  ConfigureDialog(dialog, request);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return Chosen(dialog.selectedFiles().front());
}

std::optional<QString> DesktopChooseSaveFile(QWidget* owner, const FileRequest& request) {
  QFileDialog dialog(owner);
  ConfigureDialog(dialog, request);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return Chosen(dialog.selectedFiles().front());
}

class Desktop final : public IDesktop {
 public:
  using IDesktop::ShowMessage;
  MessageAnswer ShowMessage(QWidget* owner, const MessageRequest& request) override {
    return DesktopMessage(owner, request);
  }
  bool OpenUrl(const QString& url) override { return QDesktopServices::openUrl(QUrl(url)); }
  std::optional<QString> ChooseFile(QWidget* owner, const FileRequest& request) override {
    return DesktopChooseFile(owner, request);
  }
  std::optional<QString> ChooseSaveFile(QWidget* owner, const FileRequest& request) override {
    return DesktopChooseSaveFile(owner, request);
  }
};

}  // namespace

IDesktop& RealDesktop() {
  static Desktop desktop;
  return desktop;
}

}  // namespace tolvane
