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
  setWindowTitle(QStringLiteral("Программирование Pic18F26k42 через СОМ-порт"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setWindowIcon(ProgramIcon());
  setFont(DialogFont());
  setAcceptDrops(true);
  BuildControls();
  m_PortSelector = std::make_unique<PortListBinding>(*m_PortCombo, m_Port, m_Settings, this, m_Desktop,
                                                     std::move(extraPorts), portSource);
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
  m_Runner->OnConfirmSuspect = [this](const std::string& question) { return ConfirmSuspect(question); };
  connect(m_Runner.get(), &ProcedureRunner::Finished, this, &CProgPicDlg::ProcedureFinished);

  // The start-up sequence: the system menu's about entry, links in the view,
  // header, icons, blank images, instructions, the port list, the receive
  // timer, capture on.
  AddSystemMenuEntry(*this, QString::fromUtf8(kAboutMenuText));
  RichEnableLinks(*m_View);
  WriteHeader();
  m_FileImage.Clear();
  m_DeviceImage.Clear();
  ShowInstructions();
  m_PortSelector->Init();
  connect(m_PortSelector.get(), &PortListBinding::DeviceListChanged, this, &CProgPicDlg::OnDeviceChange);
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

void CProgPicDlg::BuildControls() {
  DialogUnits units(font());
  setFixedSize(units.Size(kMainWidth, kMainHeight));
  QWidget* previous = nullptr;
  for (const ControlTemplate& control : kMainControls) {
    QString caption = QString::fromUtf8(control.Caption);
    QRect rect = units.Rect(control.Rect);
    QWidget* widget = nullptr;
    bool tabStop = true;
    switch (control.Kind) {
      case ControlKind::HiddenDefault: {
        auto* button = new QPushButton(caption, this);
        button->setDefault(true);
        button->hide();
        connect(button, &QPushButton::clicked, this, &CProgPicDlg::accept);
        widget = button;
        break;
      }
      case ControlKind::PortList: {
        m_PortCombo = new QComboBox(this);
        rect.setHeight(units.Rect({0, 0, 0, kComboClosedHeight}).height());
        m_PortCombo->setMaxVisibleItems(control.Rect.H / kComboClosedHeight);
        widget = m_PortCombo;
        break;
      }
      case ControlKind::Label:
        widget = new QLabel(caption, this);
        tabStop = false;
        break;
      case ControlKind::Button: {
        auto* button = new QPushButton(caption, this);
        button->setAutoDefault(true);
        widget = button;
        break;
      }
      case ControlKind::CaptureSwitch: {
        auto* button = new QPushButton(caption, this);
        button->setCheckable(true);
        // A switch: Enter on it goes to the window, as for any non-button.
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, &CProgPicDlg::OnCaptureSwitch);
        widget = button;
        break;
      }
      case ControlKind::ViewPane:
        m_View = new RichPane(this);
        m_View->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        widget = m_View;
        break;
      case ControlKind::HeaderPane: {
        m_Header = new RichPane(this);
        m_Header->setFrameShape(QFrame::NoFrame);
        m_Header->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_Header->setFocusPolicy(Qt::NoFocus);
        QPalette palette = m_Header->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Button));
        m_Header->setPalette(palette);
        widget = m_Header;
        tabStop = false;
        break;
      }
      case ControlKind::Status: {
        m_Status = new QLineEdit(this);
        m_Status->setReadOnly(true);
        widget = m_Status;
        break;
      }
      case ControlKind::Radio: {
        auto* radio = new QRadioButton(caption, this);
        // Each page is set explicitly; the buttons are not a group that
        // steps with the arrow keys.
        radio->setAutoExclusive(false);
        radio->setFocusPolicy(Qt::ClickFocus);
        widget = radio;
        tabStop = false;
        break;
      }
    }
    widget->setGeometry(rect);
    if (control.Id != ctl::kLabel) {
      widget->setProperty(kControlIdProperty, control.Id);
      m_Controls[control.Id] = widget;
    }
    if (tabStop && control.Kind != ControlKind::HiddenDefault) {
      if (previous != nullptr) setTabOrder(previous, widget);
      previous = widget;
    }
  }

  connect(Button(ctl::kOpenFile), &QAbstractButton::clicked, this, &CProgPicDlg::OnOpenHexFile);
  connect(Button(ctl::kRead), &QAbstractButton::clicked, this, &CProgPicDlg::OnRead);
  connect(Button(ctl::kWrite), &QAbstractButton::clicked, this, &CProgPicDlg::OnWrite);
  connect(Button(ctl::kVerify), &QAbstractButton::clicked, this, &CProgPicDlg::OnVerify);
  connect(Button(ctl::kRun), &QAbstractButton::clicked, this, &CProgPicDlg::OnRun);
  connect(Button(ctl::kHelp), &QAbstractButton::clicked, this, &CProgPicDlg::OnHelpButton);
  connect(Button(ctl::kShowFile), &QAbstractButton::clicked, this, &CProgPicDlg::ShowFileImage);
  connect(Button(ctl::kShowDevice), &QAbstractButton::clicked, this, &CProgPicDlg::ShowDeviceImage);
  connect(Button(ctl::kShowInstructions), &QAbstractButton::clicked, this, &CProgPicDlg::ShowInstructions);
  connect(m_View, &RichPane::LinkNotified, this,
          [this](const LinkEvent& e) { OnRichEditLink(m_Desktop, this, *m_View, e); });
  connect(m_Header, &RichPane::LinkNotified, this,
          [this](const LinkEvent& e) { OnRichEditLink(m_Desktop, this, *m_Header, e); });
  connect(m_PortCombo, &QComboBox::activated, this, [this] { m_PortSelector->OnSelChange(); });

  // Where no system menu takes an entry, the about box is on the panes'
  // context menus and on a key.
  m_Header->setContextMenuPolicy(Qt::DefaultContextMenu);
  m_Header->SetMenuExtender([this](QMenu& menu) { AddContextEntries(menu, false); });
  m_View->SetMenuExtender([this](QMenu& menu) { AddContextEntries(menu, true); });
  auto* about = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F1), this);
  connect(about, &QShortcut::activated, this, &CProgPicDlg::OnAbout);
  auto* nextMismatch = new QShortcut(QKeySequence(Qt::Key_F3), this);
  connect(nextMismatch, &QShortcut::activated, this, [this] { GoToMismatch(false); });
  auto* previousMismatch = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this);
  connect(previousMismatch, &QShortcut::activated, this, [this] { GoToMismatch(true); });
  auto* showLog = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this);
  connect(showLog, &QShortcut::activated, this, [this] {
    if (m_ShowLog) m_ShowLog();
  });
  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(help, &QShortcut::activated, this, [this] {
    if (!ProcedureRunning()) ShowWebHelp(m_Desktop, this, QString::fromUtf8(kHelpKeyMain), HelpRequestFor(this));
  });

  m_Progress = new QProgressBar(this);
  m_Progress->setGeometry(units.Rect(kProgressRect));
  m_Progress->hide();
  m_Cancel = new QPushButton(QStringLiteral("Отмена"), this);
  m_Cancel->setGeometry(units.Rect(kCancelRect));
  m_Cancel->setAutoDefault(true);
  m_Cancel->hide();
  connect(m_Cancel, &QPushButton::clicked, this, &CProgPicDlg::CancelProcedure);
}

QWidget* CProgPicDlg::Control(int id) const {
  auto it = m_Controls.find(id);
  return it == m_Controls.end() ? nullptr : it->second;
}

QAbstractButton* CProgPicDlg::Button(int id) const { return qobject_cast<QAbstractButton*>(Control(id)); }

void CProgPicDlg::AddContextEntries(QMenu& menu, bool deviceImage) {
  menu.addSeparator();
  if (deviceImage) {
    QAction* save = menu.addAction(QStringLiteral("Сохранить прочитанные из МК данные в HEX-файл..."));
    // Only a whole read is worth a file: never a read that broke off.
    save->setEnabled(!ProcedureRunning() && m_DeviceImageComplete);
    connect(save, &QAction::triggered, this, &CProgPicDlg::OnSaveDeviceImage);
  }
  if (m_ShowLog) {
    QAction* log = menu.addAction(QStringLiteral("Показать журнал"));
    log->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(log, &QAction::triggered, this, [this] { m_ShowLog(); });
  }
  if (deviceImage) {
    QAction* next = menu.addAction(QStringLiteral("Следующее несовпадение"));
    next->setShortcut(QKeySequence(Qt::Key_F3));
    connect(next, &QAction::triggered, this, [this] { GoToMismatch(false); });
    QAction* previous = menu.addAction(QStringLiteral("Предыдущее несовпадение"));
    previous->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
    connect(previous, &QAction::triggered, this, [this] { GoToMismatch(true); });
  }
  QAction* about = menu.addAction(QString::fromUtf8(kAboutMenuText));
  about->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F1));
  connect(about, &QAction::triggered, this, &CProgPicDlg::OnAbout);
}

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
  int s = RichAppendText(h, QStringLiteral("Смена прошивки устройства на МК Pic18F26k42 через RS-232"));
  int e = RichAppendText(h, QStringLiteral("\r\n"));
  RichFormatRange(h, s, e, BoldFormat());
  s = RichAppendText(h, QStringLiteral("Новые прошивки"));
  e = RichAppendText(h, QStringLiteral(" и "));
  RichMakeLink(h, s, e);
  s = RichAppendText(h, QStringLiteral("протокол программирования"));
  e = RichAppendText(h, QStringLiteral(" самодельного кардиографа с записью на SD-карту\nна домашней странице "));
  RichMakeLink(h, s, e);
  RichAppendText(h, QStringLiteral("проекта ") + HomePageUrl());
  RichSelect(h, 0, 0);
}

// Pages ---------------------------------------------------------------------

void CProgPicDlg::ShowPage(int radioId) {
  for (int id : {ctl::kShowFile, ctl::kShowDevice, ctl::kShowInstructions}) {
    Button(id)->setChecked(id == radioId);
  }
}

void CProgPicDlg::RenderShown(const FirmwareImage& shown) {
  RenderImage(*m_View, m_Composer, shown, m_FileImage, m_DeviceImage);
}

void CProgPicDlg::ShowFileImage() {
  ShowPage(ctl::kShowFile);
  RenderShown(m_FileImage);
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

void CProgPicDlg::ReportPortLoss(const ProcedureOutcome& loss) {
  ShowBox(Utf8(loss.Text), Utf8(loss.Caption), MessageIcon::Error);
}

// From its start: the Russian words come first, the system's reason after.
void CProgPicDlg::SetStatus(const QString& text) {
  m_Status->setText(text);
  m_Status->setCursorPosition(0);
}

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
  m_Load = LoadHexFile(path.toStdString(), m_FileImage);
  ShowFileImage();
  if (std::optional<MessageRequest> warning = LoadWarning(*m_Load)) ShowBox(*warning);
}

bool CProgPicDlg::ChoosePort(const std::string& name) {
  const int index = m_PortCombo->findData(QString::fromStdString(name));
  if (index < 0) return false;
  m_PortCombo->setCurrentIndex(index);
  m_PortSelector->OnSelChange();
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

// Procedures ----------------------------------------------------------------

bool CProgPicDlg::ProcedureRunning() const { return m_Runner && m_Runner->Busy(); }

void CProgPicDlg::CancelProcedure() {
  if (!ProcedureRunning()) return;
  m_Runner->RequestStop();
  m_Cancel->setEnabled(false);
}

void CProgPicDlg::reject() {
  if (ProcedureRunning()) {
    // A write or a verify is not stopped by a stray Esc: asked first, No by default.
    if (m_RunningButton == ctl::kWrite || m_RunningButton == ctl::kVerify) {
      MessageRequest ask{QStringLiteral("Прервать?"), Utf8(m_RunningButton == ctl::kWrite ? "ЗАПИСЬ" : "ВЕРИФИКАЦИЯ"),
                         MessageIcon::Question, MessageButtons::YesNo, MessageAnswer::No};
      if (ShowBox(ask) != MessageAnswer::Yes) return;
    }
    CancelProcedure();
    return;
  }
  QDialog::reject();
}

void CProgPicDlg::StopAndClose() {
  if (!ProcedureRunning()) {
    done(QDialog::Rejected);
    return;
  }
  m_CloseWhenStopped = true;
  CancelProcedure();
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

void CProgPicDlg::OnRead() {
  StartProcedure(ctl::kRead, [this](Procedures& p) { return p.ReadDevice(m_DeviceImage); });
}

void CProgPicDlg::OnVerify() {
  StartProcedure(ctl::kVerify, [this](Procedures& p) {
    return p.Verify(m_FileImage, m_DeviceImage, m_Load ? &m_Load->RegionSet : nullptr);
  });
}

namespace {

// The window's side of admitting a file: its question and its refusal as boxes.
class AdmissionObserver : public IProcedureObserver {
 public:
  explicit AdmissionObserver(std::function<bool(const std::string&)> ask) : m_Ask(std::move(ask)) {}
  void Outcome(const ProcedureOutcome& outcome) override { Refusal = outcome; }
  bool ConfirmSuspect(const std::string& question) override { return m_Ask(question); }
  std::optional<ProcedureOutcome> Refusal;

 private:
  std::function<bool(const std::string&)> m_Ask;
};

}  // namespace

void CProgPicDlg::OnWrite() {
  if (ProcedureRunning()) return;
  const HexLoadResult* load = m_Load ? &*m_Load : nullptr;
  // Admitted before the procedure takes the window: the question about a
  // damaged file stands over a window that waits for the answer.
  AdmissionObserver admission([this](const std::string& question) { return ConfirmSuspect(question); });
  if (!AdmitFile(load, admission)) {
    if (admission.Refusal)
      ShowBox(Utf8(admission.Refusal->Text), Utf8(admission.Refusal->Caption), IconOf(admission.Refusal->Icon));
    emit ProcedureEnded(ProcedureStatus::Refused);
    return;
  }
  StartProcedure(ctl::kWrite, [this, load](Procedures& p) {
    return p.WriteDevice(m_FileImage, load, m_DeviceImage, Admission::Done);
  });
}

void CProgPicDlg::OnRun() {
  StartProcedure(ctl::kRun, [](Procedures& p) { return p.Run(); });
}

void CProgPicDlg::StartProcedure(int buttonId, std::function<ProcedureStatus(Procedures&)> work) {
  if (ProcedureRunning()) return;
  m_RunningButton = buttonId;
  if (buttonId != ctl::kRun) m_DeviceImageComplete = false;  // the device image is read anew
  SetBusy(true);
  m_Runner->Start(std::move(work));
}

void CProgPicDlg::SetBusy(bool busy) {
  if (busy) {
    // Nothing but Cancel takes input; the pressed button shows disabled.
    m_EnabledBeforeRun.clear();
    for (auto& [id, widget] : m_Controls) {
      m_EnabledBeforeRun[widget] = widget->isEnabled();
      widget->setEnabled(false);
    }
    for (int id : {ctl::kShowFile, ctl::kShowDevice, ctl::kShowInstructions}) Control(id)->hide();
    m_Progress->setRange(0, 0);
    m_Progress->setFormat(QString());
    m_Progress->show();
    m_Cancel->setEnabled(true);
    m_Cancel->show();
    m_Cancel->setFocus();
    m_RunClock.start();
    m_ProgressTimer.start();
    return;
  }
  m_ProgressTimer.stop();
  m_Progress->hide();
  m_Cancel->hide();
  for (int id : {ctl::kShowFile, ctl::kShowDevice, ctl::kShowInstructions}) Control(id)->show();
  for (auto& [widget, enabled] : m_EnabledBeforeRun) widget->setEnabled(enabled);
  m_EnabledBeforeRun.clear();
}

void CProgPicDlg::UpdateProgress() {
  int32_t total = m_Runner->Total();
  int32_t done = m_Runner->Done();
  if (total <= 0) return;
  m_Progress->setRange(0, total);
  m_Progress->setValue(done);
  QString text = QStringLiteral("%1 из %2 блоков").arg(done).arg(total);
  if (done > 0 && done < total) {
    double left = static_cast<double>(m_RunClock.elapsed()) / done * (total - done) / 1000.0;
    text += QStringLiteral(", осталось %1 с").arg(static_cast<int>(left + 0.5));
  }
  m_Progress->setFormat(text);
}

void CProgPicDlg::ProcedureFinished(ProcedureStatus status, const std::optional<ProcedureOutcome>& outcome) {
  int button = m_RunningButton;
  m_RunningButton = 0;
  SetBusy(false);
  if (status == ProcedureStatus::Done && button == ctl::kRead) ShowDeviceImage();
  // A port the procedure found lost is dropped now: its box says so, and the
  // receive tick must not tell it a second time.
  if (status == ProcedureStatus::LinkFailed && m_Port.IsOpen() && m_Port.LastError() != 0) m_PortSelector->Deselect();
  if (m_CloseWhenStopped) {
    // A signal asked to end: the outcome goes to the trace, no box waits.
    if (outcome) Log().Text(outcome->Caption).Text(": ").Text(outcome->Text).Text("\n");
    emit ProcedureEnded(status);
    done(QDialog::Rejected);
    return;
  }
  if (outcome) ShowBox(Utf8(outcome->Text), Utf8(outcome->Caption), IconOf(outcome->Icon));
  if (status == ProcedureStatus::Stopped) Log().Text("Остановлено пользователем\n");
  if (button == ctl::kWrite || button == ctl::kVerify) {
    if (QWidget* w = Control(button)) w->setFocus();
  }
  if (m_DeviceChangeWaiting) {
    m_DeviceChangeWaiting = false;
    OnDeviceChange();
  }
  emit ProcedureEnded(status);
  if (button == ctl::kRun && status == ProcedureStatus::Done &&
      !(QGuiApplication::queryKeyboardModifiers() & (Qt::ShiftModifier | Qt::ControlModifier))) {
    done(QDialog::Accepted);
  }
}

// Line traffic --------------------------------------------------------------

void CProgPicDlg::OnCaptureSwitch() {
  if (Button(ctl::kCapture)->isChecked()) {
    m_CaptureTimer.start();
  } else {
    m_CaptureTimer.stop();
  }
}

void CProgPicDlg::OnCaptureTimer() {
  if (ProcedureRunning()) return;
  m_IdleLink.SendCaptureBurst();
}

void CProgPicDlg::OnReceiveTimer() {
  if (ProcedureRunning()) return;
  ReceiveTickResult tick = m_Receive.Tick(m_Port);
  if (tick.ReadFailed) {
    m_PortSelector->Deselect();
    ProcedureOutcome loss{tick.FailureText, tick.FailureCaption, OutcomeIcon::Error};
    // Over another box it would be lost from sight: told when that one closes.
    if (BoxOpen()) {
      m_PendingPortLoss = std::move(loss);
    } else {
      ReportPortLoss(loss);
    }
    return;
  }
  if (tick.Status) SetStatus(Utf8(*tick.Status));
}

bool CProgPicDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
  switch (ClassifyNativeEvent(eventType, message)) {
    case NativeWindowEvent::AboutCommand:
      OnAbout();
      *result = 0;
      return true;
    case NativeWindowEvent::PortsChanged: OnDeviceChange(); return false;  // the system's own handling goes on
    case NativeWindowEvent::None: break;
  }
  return QDialog::nativeEvent(eventType, message, result);
}

void CProgPicDlg::OnDeviceChange() {
  // The port is the procedure's until it ends; the change is acted on then.
  if (ProcedureRunning()) {
    m_DeviceChangeWaiting = true;
    return;
  }
  if (m_PortSelector->OnDeviceChange()) UpdatePortStatus();
}

void CProgPicDlg::UpdatePortStatus() { SetStatus(Utf8(PortStatusText(m_Port, m_PortSelector->Selected()))); }

}  // namespace tolvane
