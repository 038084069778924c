#include "ui/main_window.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QUrl>
#include <QMimeData>
#include <QDropEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <utility>

#include "image/hex_writer.h"
#include "log/console_log.h"
#include "session/window_texts.h"
#include "ui/about_dialog.h"
#include "ui/native_window.h"
#include "ui/hex_file_selection.h"
#include "ui/image_viewer.h"
#include "ui/instruction_text.h"
#include "ui/link_handler.h"
#include "ui/main_window_layout.h"
#include "ui/procedure_runner.h"
#include "ui/program_icons.h"
#include "ui/rich_pane.h"
#include "ui/rich_text.h"
#include "ui/web_links.h"
#include "session/write_options.h"

namespace tolvane {

namespace {

QString Utf8(const std::string& text) { return QString::fromStdString(text); }

MessageIcon IconOf(OutcomeIcon icon) {
  return icon == OutcomeIcon::Error ? MessageIcon::Error : MessageIcon::Exclamation;
}

}  // namespace

CProgPicDlg::CProgPicDlg(ISettingsStore& settings, std::vector<PortRecord> extraPorts, IPortSource* portSource,
                         IDesktop& desktop, QWidget* parent)
    : QDialog(parent), m_Settings(settings), m_Desktop(desktop) {
  setWindowTitle(QString::fromUtf8(kWindowTitle));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setWindowIcon(ProgramIcon());
  setFont(DialogFont());
  setAcceptDrops(true);
  BuildControls();
  m_PortList = std::make_unique<PortListBinding>(*m_PortCombo, m_Port, m_Settings, this, m_Desktop,
                                                 std::move(extraPorts), portSource);
  m_Options = UpdateOptions::Load(m_Settings);
  m_Desktop.OnAllClosed = [this] {
    if (m_PendingPortLoss) ReportPortLoss(*std::exchange(m_PendingPortLoss, std::nullopt));
  };
  m_Runner = std::make_unique<ProcedureRunner>(m_Port);
  // A verify (and the verify of a write) shows the file with its differences;
  // a read shows the device's page when it ends.
  m_Runner->OnDeviceImageRead = [this] {
    m_DeviceImageComplete = true;
    if (m_RunningButton != ctl::kRead) ShowFileImage();
  };
  connect(m_Runner.get(), &ProcedureRunner::Finished, this, &CProgPicDlg::RunFinished);
  WireActions();

  // The start-up sequence: the system menu's about entry, links in the view,
  // header, icons, blank images, instructions, the port list, the receive
  // timer, capture on.
  AddSystemMenuEntry(*this, QString::fromUtf8(kAboutMenuText));
  RichEnableLinks(*m_View);
  WriteHeader();
  m_File.Image.Clear();
  m_DeviceImage.Clear();
  ShowInstructions();
  m_PortList->Init();
  UpdatePortStatus();  // a remembered port that is absent is said at once
  connect(m_PortList.get(), &PortListBinding::DeviceListChanged, this, &CProgPicDlg::OnDeviceChange);
  m_ReceiveTimer.setInterval(link::kReceivePeriodMs);
  connect(&m_ReceiveTimer, &QTimer::timeout, this, &CProgPicDlg::OnReceiveTimer);
  m_ReceiveTimer.start();
  m_CaptureTimer.setInterval(link::kCapturePeriodMs);
  m_CaptureTimer.setTimerType(Qt::PreciseTimer);
  connect(&m_CaptureTimer, &QTimer::timeout, this, &CProgPicDlg::OnCaptureTimer);
  Button(ctl::kCapture)->setChecked(true);
  OnCaptureSwitch();
  m_ProgressTimer.setInterval(50);
  connect(&m_ProgressTimer, &QTimer::timeout, this, &CProgPicDlg::UpdateProgress);
  FocusFirstTabStop();
}

// As a dialog box starts: the first enabled tab stop that is not hidden
// takes the focus (the port list).
void CProgPicDlg::FocusFirstTabStop() {
  for (QWidget* w = nextInFocusChain(); w != nullptr && w != this; w = w->nextInFocusChain()) {
    if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && !w->isHidden() && w->window() == this) {
      w->setFocus(Qt::TabFocusReason);
      return;
    }
  }
}

CProgPicDlg::~CProgPicDlg() {
  // The worker ends before the port it speaks through; the port then closes.
  disconnect(m_Runner.get(), nullptr, this, nullptr);
  m_Runner.reset();
  m_ReceiveTimer.stop();
  m_CaptureTimer.stop();
  m_Port.Close();
}

QWidget* CProgPicDlg::Control(int id) const {
  auto it = m_Controls.find(id);
  return it == m_Controls.end() ? nullptr : it->second;
}

QAbstractButton* CProgPicDlg::Button(int id) const { return qobject_cast<QAbstractButton*>(Control(id)); }

void CProgPicDlg::GoToMismatch(bool backwards) {
  const std::optional<int> at = FindMismatch(*m_View, m_View->textCursor().position(), backwards);
  if (!at) {
    Log().Text(backwards ? "Несовпадений выше нет\n" : "Несовпадений ниже нет\n");
    return;
  }
  QTextCursor cursor(m_View->document());
  cursor.setPosition(*at);
  m_View->setTextCursor(cursor);
  m_View->ensureCursorVisible();
}

void CProgPicDlg::WriteHeader() {
  RichPane& h = *m_Header;
  RichEnableLinks(h);
  const int title = RichAppendText(h, QString::fromUtf8(kHeaderTitle));
  RichFormatRange(h, title, RichAppendText(h, QStringLiteral("\r\n")), BoldFormat());
  // A link ends where the next piece begins.
  std::optional<int> link;
  for (const HeaderPiece& piece : kHeaderPieces) {
    const int start = RichAppendText(h, QString::fromUtf8(piece.Text));
    if (link) RichMakeLink(h, *link, start);
    link = piece.Link ? std::optional<int>(start) : std::nullopt;
  }
  RichAppendText(h, HomePageUrl());
  RichSelect(h, 0, 0);
}

// Pages ---------------------------------------------------------------------

void CProgPicDlg::ShowPage(int radioId) {
  for (int id : {ctl::kShowFile, ctl::kShowDevice, ctl::kShowInstructions}) {
    Button(id)->setChecked(id == radioId);
  }
}

void CProgPicDlg::RenderShown(const FirmwareImage& shown) {
  RenderImage(*m_View, m_Composer, shown, m_File.Image, m_DeviceImage);
}

void CProgPicDlg::ShowFileImage() {
  ShowPage(ctl::kShowFile);
  RenderShown(m_File.Image);
}

void CProgPicDlg::ShowDeviceImage() {
  ShowPage(ctl::kShowDevice);
  RenderShown(m_DeviceImage);
}

void CProgPicDlg::ShowInstructions() {
  ShowPage(ctl::kShowInstructions);
  QTextCharFormat format = InstructionFormat();
  m_View->SetDefaultFormat(format);
  WriteInstructionText(*m_View, format);
  m_View->setFocus();
}

void CProgPicDlg::OnHelpButton() { ShowWebHelp(m_Desktop, this, QString::fromUtf8(kHelpKeyMain), std::nullopt); }

void CProgPicDlg::OnAbout() {
  if (ProcedureRunning()) return;
  CAboutDlg about(m_Desktop, this);
  // Modal to this window only: the log window stays usable.
  about.setWindowModality(Qt::WindowModal);
  m_Desktop.AsBox([&about] { about.exec(); });
}

bool CProgPicDlg::BoxOpen() const { return m_Desktop.Open() || QApplication::activeModalWidget() != nullptr; }

// File ----------------------------------------------------------------------

void CProgPicDlg::OnOpenHexFile() {
  QString folder = Utf8(m_Settings.ReadString(kOpenSection, kOpenPathEntry, DefaultHexFolder().toStdString()));
  std::optional<QString> path = m_Desktop.ChooseFile(this, HexFileRequest(folder));
  if (path) OpenHexFile(*path);
}

void CProgPicDlg::OpenHexFile(const QString& path) {
  if (ProcedureRunning()) return;
  // Kept in the system's own form (backslashes on Windows).
  m_Settings.WriteString(kOpenSection, kOpenPathEntry, FolderOfPath(QDir::toNativeSeparators(path)).toStdString());
  Log().Text("sExt = ").Text(UpperExtensionOf(path).toStdString()).Text("\n");
  LoadFirmwareFile(path.toStdString(), m_File);
  m_FileLoaded = true;
  ShowFileImage();
  if (std::optional<MessageRequest> warning = LoadWarning(m_File.Load)) ShowBox(*warning);
}

bool CProgPicDlg::ChoosePort(const std::string& name, bool remember) {
  const int index = m_PortCombo->findData(QString::fromStdString(name));
  if (index < 0) return false;
  if (!remember) m_PortList->NeverRemember(name);
  m_PortCombo->setCurrentIndex(index);
  m_PortList->OnSelChange();
  UpdatePortStatus();
  return true;
}

// A file dropped on the window opens as the open button would open it.
void CProgPicDlg::dragEnterEvent(QDragEnterEvent* event) {
  if (!ProcedureRunning() && DroppedFile(event->mimeData())) event->acceptProposedAction();
}

void CProgPicDlg::dropEvent(QDropEvent* event) {
  std::optional<QString> path = DroppedFile(event->mimeData());
  if (!path) return;
  event->acceptProposedAction();
  OpenHexFile(*path);
}

std::optional<QString> CProgPicDlg::DroppedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls() || data->urls().size() != 1 || !data->urls().front().isLocalFile())
    return std::nullopt;
  return data->urls().front().toLocalFile();
}

void CProgPicDlg::OnSaveDeviceImage() {
  if (ProcedureRunning() || !m_DeviceImageComplete) return;
  QString folder = Utf8(m_Settings.ReadString(kOpenSection, kOpenPathEntry, DefaultHexFolder().toStdString()));
  FileRequest request = HexFileRequest(folder);
  request.Title = QStringLiteral("Сохранить прочитанные из МК данные");
  request.DefaultSuffix = QStringLiteral("hex");  // what is saved is Intel HEX
  std::optional<QString> path = m_Desktop.ChooseSaveFile(this, request);
  if (!path) return;
  std::string error;
  // Only what the reads fetched: the regions' unread bytes are no data.
  if (!WriteHexFile(path->toStdString(), m_DeviceImage, &error, DeviceReadExtents())) {
    ShowBox(QStringLiteral("Не удалось записать файл!\n") + Utf8(error), QStringLiteral("ОШИБКА"), MessageIcon::Error);
    return;
  }
  Log().Text("Сохранено в ").Text(path->toStdString()).Text("\n");
}

bool CProgPicDlg::ConfirmSuspect(const std::string& question) {
  MessageRequest box;
  box.Text = Utf8(question);
  box.Caption = QStringLiteral("ПРЕДУПРЕЖДЕНИЕ");
  box.Icon = MessageIcon::Exclamation;
  box.Buttons = MessageButtons::YesNo;
  box.Default = MessageAnswer::No;
  return ShowBox(box) == MessageAnswer::Yes;
}

void CProgPicDlg::SetOptions(const UpdateOptions& options) {
  m_Options = options;
  m_Options.Save(m_Settings);
}

void CProgPicDlg::EditKeepRanges() {
  if (ProcedureRunning()) return;
  QString text = QString::fromStdString(m_Options.KeepRanges);
  for (;;) {
    const std::optional<QString> answer =
        m_Desktop.AskText(this, QStringLiteral("Области данных модуля"),
                          QStringLiteral("Адрес:длина через запятую (например 0xF000:256)"), text);
    if (!answer) return;
    std::vector<FlashRange> ranges;
    std::string why;
    if (ReadKeepRanges(answer->toStdString(), ranges, why)) {
      UpdateOptions options = m_Options;
      options.KeepRanges = KeepRangesText(ranges);
      SetOptions(options);
      return;
    }
    ShowBox(QStringLiteral("Области заданы неверно: ") + Utf8(why), QStringLiteral("ОШИБКА"), MessageIcon::Error);
    text = *answer;
  }
}

void CProgPicDlg::ShowOutcome(const ProcedureOutcome& outcome) {
  ShowBox(Utf8(outcome.Text), Utf8(outcome.Caption), IconOf(outcome.Icon));
}

}  // namespace tolvane
