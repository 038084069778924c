// The main window's controls: made by their kind's factory, placed by their
// templates, in tab order; and the one place that wires them to what they do.
#include "ui/main_window.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>

#include "ui/about_dialog.h"
#include "ui/native_window.h"
#include "ui/control_factory.h"
#include "ui/link_handler.h"
#include "ui/main_window_layout.h"
#include "ui/rich_pane.h"
#include "ui/web_links.h"

namespace tolvane {

void CProgPicDlg::BuildControls() {
  DialogUnits units(font());
  setFixedSize(units.Size(kMainWidth, kMainHeight));
  QWidget* previous = nullptr;
  for (const ControlTemplate& control : kMainControls) {
    const MadeControl made = MakeControl(control, units, this);
    if (control.Id != ctl::kLabel) {
      made.Widget->setProperty(kControlIdProperty, control.Id);
      m_Controls[control.Id] = made.Widget;
    }
    if (made.TabStop) {
      if (previous != nullptr) setTabOrder(previous, made.Widget);
      previous = made.Widget;
    }
  }
  m_PortCombo = qobject_cast<QComboBox*>(Control(ctl::kPortList));
  m_View = qobject_cast<RichPane*>(Control(ctl::kView));
  m_Header = qobject_cast<RichPane*>(Control(ctl::kHeader));
  m_Status = qobject_cast<QLineEdit*>(Control(ctl::kStatus));

  // While a procedure runs, its progress and Cancel stand where the radio buttons are.
  m_Progress = new QProgressBar(this);
  m_Progress->setGeometry(units.Rect(kProgressRect));
  m_Progress->hide();
  m_Waiting = new QLabel(this);
  m_Waiting->setGeometry(units.Rect(kProgressRect));
  m_Waiting->hide();
  m_Cancel = new QPushButton(QStringLiteral("Отмена"), this);
  m_Cancel->setGeometry(units.Rect(kCancelRect));
  m_Cancel->setAutoDefault(true);
  m_Cancel->hide();
}

void CProgPicDlg::WireActions() {
  connect(Button(ctl::kOk), &QAbstractButton::clicked, this, &CProgPicDlg::accept);
  connect(Button(ctl::kCapture), &QAbstractButton::clicked, this, &CProgPicDlg::OnCaptureSwitch);
  connect(Button(ctl::kOpenFile), &QAbstractButton::clicked, this, &CProgPicDlg::OnOpenHexFile);
  connect(Button(ctl::kRead), &QAbstractButton::clicked, this, &CProgPicDlg::OnRead);
  connect(Button(ctl::kWrite), &QAbstractButton::clicked, this, &CProgPicDlg::OnWrite);
  connect(Button(ctl::kVerify), &QAbstractButton::clicked, this, &CProgPicDlg::OnVerify);
  connect(Button(ctl::kRun), &QAbstractButton::clicked, this, &CProgPicDlg::OnRun);
  connect(Button(ctl::kHelp), &QAbstractButton::clicked, this, &CProgPicDlg::OnHelpButton);
  connect(Button(ctl::kShowFile), &QAbstractButton::clicked, this, &CProgPicDlg::ShowFileImage);
  connect(Button(ctl::kShowDevice), &QAbstractButton::clicked, this, &CProgPicDlg::ShowDeviceImage);
  connect(Button(ctl::kShowInstructions), &QAbstractButton::clicked, this, &CProgPicDlg::ShowInstructions);
  connect(m_Cancel, &QPushButton::clicked, this, &CProgPicDlg::CancelProcedure);
  connect(m_View, &RichPane::LinkNotified, this,
          [this](const LinkEvent& e) { OnRichEditLink(m_Desktop, this, *m_View, e); });
  connect(m_Header, &RichPane::LinkNotified, this,
          [this](const LinkEvent& e) { OnRichEditLink(m_Desktop, this, *m_Header, e); });
  connect(m_PortCombo, &QComboBox::activated, this, [this] { m_PortList->OnSelChange(); });

  // Where no system menu takes an entry, the about box is on the panes'
  // context menus and on a key.
  m_Header->SetMenuExtender([this](QMenu& menu) { AddContextEntries(menu, false); });
  m_View->SetMenuExtender([this](QMenu& menu) { AddContextEntries(menu, true); });
  auto shortcut = [this](QKeySequence keys, std::function<void()> action) {
    connect(new QShortcut(keys, this), &QShortcut::activated, this, std::move(action));
  };
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_F1), [this] { OnAbout(); });
  shortcut(QKeySequence(Qt::Key_F3), [this] { GoToMismatch(false); });
  shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { GoToMismatch(true); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_L), [this] {
    if (m_ShowLog) m_ShowLog();
  });
  shortcut(QKeySequence(Qt::Key_F1), [this] {
    if (!ProcedureRunning()) ShowWebHelp(m_Desktop, this, QString::fromUtf8(kHelpKeyMain), HelpRequestFor(this));
  });
}

void CProgPicDlg::AddContextEntries(QMenu& menu, bool deviceImage) {
  menu.addSeparator();
  if (deviceImage) {
    QAction* save = menu.addAction(QStringLiteral("Сохранить прочитанные из МК данные в HEX-файл..."));
    // Only a whole read is worth a file: never a read that broke off.
    save->setEnabled(!ProcedureRunning() && m_DeviceImageComplete);
    connect(save, &QAction::triggered, this, &CProgPicDlg::OnSaveDeviceImage);
  }
  if (deviceImage) {
    // The ways of updating, each remembered; all off, the window works as it always has.
    auto option = [&](const char* text, bool UpdateOptions::*flag) {
      QAction* action = menu.addAction(QString::fromUtf8(text));
      action->setCheckable(true);
      action->setChecked(m_Options.*flag);
      action->setEnabled(!ProcedureRunning());
      connect(action, &QAction::toggled, this, [this, flag](bool on) {
        UpdateOptions options = m_Options;
        options.*flag = on;
        SetOptions(options);
      });
    };
    menu.addSeparator();
    option("Ждать включения модуля (до 60 с)", &UpdateOptions::WaitForMonitor);
    option("Записывать только изменённые блоки", &UpdateOptions::ChangedOnly);
    option("Сохранять прошивку модуля перед записью", &UpdateOptions::Backup);
    option("Не стирать данные модуля в заданных областях", &UpdateOptions::KeepData);
    QAction* ranges = menu.addAction(QStringLiteral("Области данных модуля..."));
    ranges->setEnabled(!ProcedureRunning());
    connect(ranges, &QAction::triggered, this, &CProgPicDlg::EditKeepRanges);
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

}  // namespace tolvane
