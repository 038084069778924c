// The main window's line between runs: the capture bursts, the receive tick
// that drains and measures what arrives, the ports coming and going, and the
// status field beside the port list.
#include "ui/main_window.h"

#include <QAbstractButton>
#include <QLineEdit>

#include "ui/main_window_layout.h"
#include "ui/native_window.h"

namespace tolvane {

namespace {
QString Utf8(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

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
    m_PortList->Deselect();
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
  if (m_PortList->OnDeviceChange()) UpdatePortStatus();
}

void CProgPicDlg::UpdatePortStatus() { SetStatus(Utf8(PortStatusText(m_Port, m_PortList->Selected()))); }

void CProgPicDlg::ReportPortLoss(const ProcedureOutcome& loss) {
  ShowBox(Utf8(loss.Text), Utf8(loss.Caption), MessageIcon::Error);
}

// From its start: the Russian words come first, the system's reason after.
void CProgPicDlg::SetStatus(const QString& text) {
  m_Status->setText(text);
  m_Status->setCursorPosition(0);
}

}  // namespace tolvane
