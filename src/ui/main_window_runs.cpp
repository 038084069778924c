// The main window's runs on the device: each button starts a run of the
// session on the worker, the window shows it busy with its progress, and the
// run's result decides what the window shows when it ends.
#include "ui/main_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include "log/console_log.h"
#include "ui/main_window_layout.h"
#include "ui/procedure_runner.h"
#include "session/device_record.h"
#include "session/verdict.h"
#include "session/write_options.h"
#include "ui/update_options.h"

namespace tolvane {

namespace {
QString Utf8(const std::string& text) { return QString::fromStdString(text); }

// Each run that is recorded leaves its record in the history, as a
// station's would: what was done to which chip, with which file. Returns
// what the user must hear when it could not be kept, else nothing.
QString AppendToHistory(const RunResult& result) {
  if (!RunIsRecorded(result.Kind)) return {};
  std::string error;
  std::string note;
  const QString path = HistoryFile();
  if (QDir().mkpath(QFileInfo(path).absolutePath()) &&
      AppendRecord(path.toStdString(), RecordOf(result), &error, &note)) {
    if (!note.empty()) Log().Text("Журнал операций дополнен новыми столбцами: ").Text(note).Text("\n");
    return {};
  }
  if (error.empty()) error = "cannot make the folder of " + path.toStdString();
  Log().Text("Запись в журнал операций не сохранена: ").Text(error).Text("\n");
  return QStringLiteral("Запись в журнал операций не сохранена:\n") + Utf8(error);
}
}  // namespace

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
  // No box waits for a user who asked to end: those open close (as their
  // Esc would) and no new one opens.
  m_Desktop.Close();
  CloseOpenBoxes();
  if (!ProcedureRunning()) {
    done(QDialog::Rejected);
    return;
  }
  m_CloseWhenStopped = true;
  CancelProcedure();
}

void CProgPicDlg::CloseOpenBoxes() {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(top);
    if (dialog == nullptr || dialog == this || !dialog->isVisible()) continue;
    bool own = false;
    for (QWidget* w = dialog->parentWidget(); w != nullptr && !own; w = w->parentWidget()) own = w == this;
    if (!own) continue;
    auto* box = qobject_cast<QMessageBox*>(dialog);
    if (box != nullptr && box->escapeButton() != nullptr) {
      box->escapeButton()->click();
    } else {
      dialog->reject();
    }
  }
}

void CProgPicDlg::OnRead() { StartRun(ctl::kRead, RunKind::Read); }

void CProgPicDlg::OnVerify() { StartRun(ctl::kVerify, RunKind::Verify); }

void CProgPicDlg::OnWrite() {
  if (ProcedureRunning()) return;
  // Admitted before the run takes the window: the question about a damaged
  // file stands over a window that waits for the answer.
  const WriteAdmission admission = AdmitForWrite(
      m_FileLoaded ? &m_File : nullptr, [this](const std::string& question) { return ConfirmSuspect(question); });
  if (!admission.Admitted) {
    if (admission.Refusal) ShowOutcome(*admission.Refusal);
    emit ProcedureEnded(ProcedureStatus::Refused);
    return;
  }
  StartRun(ctl::kWrite, RunKind::Write);
}

void CProgPicDlg::OnRun() { StartRun(ctl::kRun, RunKind::Run); }

void CProgPicDlg::StartRun(int buttonId, RunKind kind) {
  if (ProcedureRunning()) return;
  RunRequest request;
  request.Kind = kind;
  // A verify without a file compares with the blank image, as the window always has.
  request.File = &m_File;
  request.PortLabel = m_PortList->SelectedName();
  request.PortName = m_PortList->SelectedName();
  std::string why;
  if (!FillRunOptions(m_Options, kind, BackupFolder().toStdString(), request.Options, why)) {
    ShowOutcome(KeepRangesRefusal(why));
    emit ProcedureEnded(ProcedureStatus::Refused);
    return;
  }
  m_RunningButton = buttonId;
  m_RunningKind = kind;
  if (kind != RunKind::Run) m_DeviceImageComplete = false;  // the device image is read anew
  SetBusy(true);
  m_Runner->Start(request, m_DeviceImage);
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
    m_RateClock.start();
    m_RateBytes = m_Runner->BytesMoved();
    m_ProgressTimer.start();
    return;
  }
  m_ProgressTimer.stop();
  m_Progress->hide();
  m_Waiting->hide();
  m_Cancel->hide();
  for (int id : {ctl::kShowFile, ctl::kShowDevice, ctl::kShowInstructions}) Control(id)->show();
  for (auto& [widget, enabled] : m_EnabledBeforeRun) widget->setEnabled(enabled);
  m_EnabledBeforeRun.clear();
}

void CProgPicDlg::UpdateProgress() {
  UpdateLineRate();
  // While the monitor is waited for, what to do stands where the progress does.
  if (const double left = m_Runner->WaitingLeft(); left > 0) {
    m_Progress->hide();
    m_Waiting->setText(Utf8(WaitingText(left)));
    m_Waiting->show();
    return;
  }
  if (m_Waiting->isVisible()) {
    m_Waiting->hide();
    m_Progress->show();
    m_RunClock.start();  // the rate counts from the device's answer
  }
  const RunProgress progress = m_Runner->Progress();
  if (progress.Total <= 0) return;
  // The bar counts the stage's own blocks under its name; the time left is
  // the whole run's.
  const StageProgress stage = m_Runner->Stage();
  if (stage.Phase && stage.Total > 0) {
    m_Progress->setRange(0, stage.Total);
    m_Progress->setValue(std::min(stage.Done, stage.Total));
  } else {
    m_Progress->setRange(0, progress.Total);
    m_Progress->setValue(progress.Done);
  }
  const double elapsed = static_cast<double>(m_RunClock.elapsed()) / 1000.0;
  m_Progress->setFormat(Utf8(ProgressText(m_RunningKind, stage, progress, SecondsLeft(progress, elapsed))));
}

// The rate of the line while a run has the port (the receive tick's is
// measured only between runs): bytes moved either way, about once a second.
void CProgPicDlg::UpdateLineRate() {
  const qint64 elapsed = m_RateClock.elapsed();
  if (elapsed < 1000) return;
  const int64_t moved = m_Runner->BytesMoved();
  const double rate = static_cast<double>(moved - m_RateBytes) * 1000.0 / static_cast<double>(elapsed);
  m_RateBytes = moved;
  m_RateClock.start();
  SetStatus(Utf8(RateText(rate)));
}

void CProgPicDlg::RunFinished(const RunResult& result) {
  const QString historyLost = AppendToHistory(result);
  const int button = m_RunningButton;
  const ProcedureStatus status = result.Status;
  m_RunningButton = 0;
  SetBusy(false);
  if (status == ProcedureStatus::Done && result.Kind == RunKind::Read) ShowDeviceImage();
  // A port the run found lost is dropped now: its box says so, and the
  // receive tick must not tell it a second time.
  if (result.PortLost) m_PortList->Deselect();
  if (m_CloseWhenStopped) {
    // A signal asked to end: the outcome goes to the trace, no box waits.
    if (result.Outcome) Log().Text(result.Outcome->Caption).Text(": ").Text(result.Outcome->Text).Text("\n");
    emit RunEnded(result);
    emit ProcedureEnded(status);
    done(QDialog::Rejected);
    return;
  }
  const std::string backup = QDir::toNativeSeparators(Utf8(result.BackupPath)).toStdString();
  if (const std::optional<ProcedureOutcome> verdict = VerdictOf(result, m_Port.LastError(), backup))
    ShowOutcome(*verdict);
  if (!historyLost.isEmpty()) ShowBox(historyLost, QStringLiteral("ЖУРНАЛ ОПЕРАЦИЙ"), MessageIcon::Exclamation);
  if (status == ProcedureStatus::Stopped) Log().Text("Остановлено пользователем\n");
  if (button == ctl::kWrite || button == ctl::kVerify) {
    if (QWidget* w = Control(button)) w->setFocus();
  }
  if (m_DeviceChangeWaiting) {
    m_DeviceChangeWaiting = false;
    OnDeviceChange();
  }
  emit RunEnded(result);
  emit ProcedureEnded(status);
  if (result.Kind == RunKind::Run && status == ProcedureStatus::Done &&
      !(QGuiApplication::queryKeyboardModifiers() & (Qt::ShiftModifier | Qt::ControlModifier))) {
    done(QDialog::Accepted);
  }
}

}  // namespace tolvane
