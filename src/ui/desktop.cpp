#include "ui/desktop.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
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

// The file dialog, modal to its owner only, for opening or for saving.
std::optional<QString> DesktopChoose(QWidget* owner, const FileRequest& request, bool save) {
  QFileDialog dialog(owner);
  dialog.setWindowTitle(request.Title);
  dialog.setDirectory(request.Folder);
  dialog.setNameFilters(request.Filters);
  if (!request.Filters.isEmpty()) dialog.selectNameFilter(request.Filters.front());
  dialog.setDefaultSuffix(request.DefaultSuffix);
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
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
    return DesktopChoose(owner, request, false);
  }
  std::optional<QString> ChooseSaveFile(QWidget* owner, const FileRequest& request) override {
    return DesktopChoose(owner, request, true);
  }
  std::optional<QString> AskText(QWidget* owner, const QString& title, const QString& label,
                                 const QString& text) override {
    bool ok = false;
    const QString answer = QInputDialog::getText(owner, title, label, QLineEdit::Normal, text, &ok);
    if (!ok) return std::nullopt;
    return answer;
  }
};

}  // namespace

void WatchedDesktop::AsBox(const std::function<void()>& fn) {
  if (m_Closed) return;
  ++m_Open;
  fn();
  if (--m_Open == 0 && OnAllClosed) OnAllClosed();
}

MessageAnswer WatchedDesktop::ShowMessage(QWidget* owner, const MessageRequest& request) {
  if (m_Closed) return request.Default;
  MessageAnswer answer = MessageAnswer::Cancel;
  AsBox([&] { answer = m_Inner.ShowMessage(owner, request); });
  return answer;
}

std::optional<QString> WatchedDesktop::ChooseFile(QWidget* owner, const FileRequest& request) {
  if (m_Closed) return std::nullopt;
  std::optional<QString> path;
  AsBox([&] { path = m_Inner.ChooseFile(owner, request); });
  return path;
}

std::optional<QString> WatchedDesktop::ChooseSaveFile(QWidget* owner, const FileRequest& request) {
  if (m_Closed) return std::nullopt;
  std::optional<QString> path;
  AsBox([&] { path = m_Inner.ChooseSaveFile(owner, request); });
  return path;
}

std::optional<QString> WatchedDesktop::AskText(QWidget* owner, const QString& title, const QString& label,
                                               const QString& text) {
  if (m_Closed) return std::nullopt;
  std::optional<QString> answer;
  AsBox([&] { answer = m_Inner.AskText(owner, title, label, text); });
  return answer;
}

IDesktop& RealDesktop() {
  static Desktop desktop;
  return desktop;
}

}  // namespace tolvane
