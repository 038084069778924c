// The main window's line between runs: the capture bursts, the receive tick
// that drains and measures what arrives, the ports coming and going, and the
// status field beside the port list.
#include "ui/main_window.h"

#include <QAbstractButton>
#include <QLineEdit>

#include "serial/system_error.h"
#include "session/verdict.h"
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
  m_Idle.Burst();
}

void CProgPicDlg::OnReceiveTimer() {
  if (ProcedureRunning()) return;
  const ReceiveTickResult tick = m_Idle.Receive();
  if (tick.Failure) {
    ProcedureOutcome loss = LostPortWords(*tick.Failure, m_Port.LastError());
    m_PortList->Deselect();
    // Over another box it would be lost from sight: told when that one closes.
    if (BoxOpen()) {
      m_PendingPortLoss = std::move(loss);
    } else {
      ReportPortLoss(loss);
    }
    return;
  }
  if (tick.Status) SetStatus(m_Port.IsOpen() ? Utf8(*tick.Status) : ClosedPortStatus());
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

void CProgPicDlg::UpdatePortStatus() {
  SetStatus(m_Port.IsOpen() ? Utf8(PortStatusText(m_Port, true)) : ClosedPortStatus());
}

// Why no port is open, in Russian words first (the system's own reason,
// when there is one, after them).
QString CProgPicDlg::ClosedPortStatus() const {
  const std::string& chosen = m_PortList->SelectedName();
  if (!chosen.empty() && !m_PortList->SelectedListed())
    return QStringLiteral("порт %1 не найден: подключите его или выберите другой").arg(Utf8(chosen));
  if (!m_Port.ErrorText().empty()) return Utf8(m_Port.ErrorText());
  if (!chosen.empty()) return QStringLiteral("порт %1 закрыт").arg(Utf8(chosen));
  return Utf8(PortStatusText(m_Port, false));
}

void CProgPicDlg::ReportPortLoss(const ProcedureOutcome& loss) {
  ShowBox(Utf8(loss.Text), Utf8(loss.Caption), MessageIcon::Error);
}

// From its start: the Russian words come first, the system's reason after.
void CProgPicDlg::SetStatus(const QString& text) {
  m_Status->setText(text);
  m_Status->setCursorPosition(0);
}

}  // namespace tolvane
