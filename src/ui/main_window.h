// The program's main window: port list, HEX file, the procedures' buttons,
// the view pane with the dump or the instructions, the header with links, the
// capture switch and the two timers that drive the line between procedures.
// Its code is split by concern: construction, pages and files
// (main_window.cpp), the controls and what they are wired to
// (main_window_controls.cpp), the runs on the device (main_window_runs.cpp),
// the line between runs (main_window_line.cpp).
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "image/dump_composer.h"
#include "image/firmware_image.h"
#include "protocol/link.h"
#include "protocol/procedures.h"
#include "serial/serial_port.h"
#include "serial/settings_store.h"
#include "session/device_run.h"
#include "session/firmware_file.h"
#include "session/idle_line.h"
#include "ui/desktop.h"
#include "ui/port_list_binding.h"
#include "ui/run_result_meta.h"
#include "ui/update_options.h"

class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

class QDragEnterEvent;
class QDropEvent;
class QMimeData;

namespace tolvane {

class ProcedureRunner;
class RichPane;

class CProgPicDlg : public QDialog {
  Q_OBJECT
 public:
  // extraPorts: devices offered in the port list besides the system's
  // ports (a simulated device's pseudo-terminal, say).
  // portSource: where the port list comes from (null: the system).
  // desktop: where message boxes, the browser and the file chooser come from.
  explicit CProgPicDlg(ISettingsStore& settings, std::vector<PortRecord> extraPorts = {},
                       IPortSource* portSource = nullptr, IDesktop& desktop = RealDesktop(), QWidget* parent = nullptr);
  ~CProgPicDlg() override;

  // The three pages of the view pane; each sets its radio button.
  void ShowFileImage();
  void ShowDeviceImage();
  void ShowInstructions();

  // Button handlers.
  void OnOpenHexFile();
  // Loads and shows a HEX file as the open button does (also for a file
  // named on the command line or dropped on the window).
  void OpenHexFile(const QString& path);
  // Chooses a port of the list as the user would (opened, and remembered
  // unless remember is false: then never, also when picked again later);
  // false when the list has no such port.
  bool ChoosePort(const std::string& name, bool remember = true);
  void OnRead();
  void OnVerify();
  void OnWrite();
  void OnRun();
  void OnCaptureSwitch();
  void OnHelpButton();
  void OnAbout();
  // Moves the view to the next (previous) word in blue; says in the log when
  // there is none.
  void GoToMismatch(bool backwards);
  // Saves the device image as a HEX file the user names.
  void OnSaveDeviceImage();

  // One tick of each timer (the timers call them; tests may too).
  void OnReceiveTimer();
  void OnCaptureTimer();
  // The system's port list changed.
  void OnDeviceChange();

  bool ProcedureRunning() const;
  void CancelProcedure();

  // The ways of updating the view's context menu switches, as remembered.
  const UpdateOptions& Options() const { return m_Options; }
  void SetOptions(const UpdateOptions& options);
  // Asks for the ranges of the device's own data to keep (the menu's entry).
  void EditKeepRanges();

  // What tests and the start-up look at.
  RichPane& View() { return *m_View; }
  RichPane& Header() { return *m_Header; }
  QComboBox& PortCombo() { return *m_PortCombo; }
  QLineEdit& StatusField() { return *m_Status; }
  QWidget* Control(int id) const;
  QAbstractButton* Button(int id) const;
  QProgressBar& Progress() { return *m_Progress; }
  QLabel& WaitingLabel() { return *m_Waiting; }
  QPushButton& CancelButton() { return *m_Cancel; }
  QTimer& ReceiveTimer() { return m_ReceiveTimer; }
  QTimer& CaptureTimer() { return m_CaptureTimer; }
  FirmwareImage& FileImage() { return m_File.Image; }
  FirmwareImage& DeviceImage() { return m_DeviceImage; }
  OSerialPort& Port() { return m_Port; }
  PortListBinding& Ports() { return *m_PortList; }

  // Enter with no push button focused arrives here and does nothing.
  void accept() override {}
  // Esc and the close box end the window; during a procedure they cancel it
  // (a write or a verify after asking).
  void reject() override;

  // Shows the log window again (the start-up sets it; the panes' context
  // menu and Ctrl+L call it).
  void SetLogWindowShower(std::function<void()> show) { m_ShowLog = std::move(show); }
  // Asked by a signal to end: a running procedure stops between two blocks
  // and the window closes when it has.
  void StopAndClose();

 signals:
  // A procedure has ended and its message (if any) has been shown.
  void ProcedureEnded(tolvane::ProcedureStatus status);
  // The same, with the whole result of the run.
  void RunEnded(const tolvane::RunResult& result);

 private:
  // main_window_controls.cpp
  void BuildControls();
  void WireActions();
  void AddContextEntries(class QMenu& menu, bool deviceImage);
  // main_window.cpp
  void WriteHeader();
  void ShowPage(int radioId);
  void RenderShown(const FirmwareImage& shown);
  void FocusFirstTabStop();
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  static std::optional<QString> DroppedFile(const QMimeData* data);
  bool ConfirmSuspect(const std::string& question);
  // Boxes, through the watched desktop: a port lost while one is open is
  // told once it has closed.
  MessageAnswer ShowBox(const MessageRequest& request) { return m_Desktop.ShowMessage(this, request); }
  void ShowBox(const QString& text, const QString& caption, MessageIcon icon) {
    m_Desktop.ShowMessage(this, text, caption, icon);
  }
  void ShowOutcome(const ProcedureOutcome& outcome);
  bool BoxOpen() const;
  // main_window_runs.cpp
  void StartRun(int buttonId, RunKind kind);
  void CloseOpenBoxes();
  void RunFinished(const RunResult& result);
  void SetBusy(bool busy);
  void UpdateProgress();
  void UpdateLineRate();
  // main_window_line.cpp: the system menu's about entry and the ports'
  // comings and goings (Windows).
  bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
  void UpdatePortStatus();
  QString ClosedPortStatus() const;
  void ReportPortLoss(const ProcedureOutcome& loss);
  void SetStatus(const QString& text);

  // Members in the order of their roles: view pane, port list, the port
  // and the binding of the list to it, the file and the device image, header pane.
  RichPane* m_View = nullptr;
  QComboBox* m_PortCombo = nullptr;
  OSerialPort m_Port;
  std::unique_ptr<PortListBinding> m_PortList;
  FirmwareFile m_File;  // the HEX file: its image, how it loaded, its digest
  bool m_FileLoaded = false;
  FirmwareImage m_DeviceImage;
  RichPane* m_Header = nullptr;

  ISettingsStore& m_Settings;
  WatchedDesktop m_Desktop;
  std::map<int, QWidget*> m_Controls;
  QLineEdit* m_Status = nullptr;
  QProgressBar* m_Progress = nullptr;
  QLabel* m_Waiting = nullptr;  // stands for the progress while the monitor is waited for
  QPushButton* m_Cancel = nullptr;
  UpdateOptions m_Options;
  QTimer m_ReceiveTimer;
  QTimer m_CaptureTimer;
  QTimer m_ProgressTimer;
  IdleLine m_Idle{m_Port};
  DumpComposer m_Composer;
  std::map<QWidget*, bool> m_EnabledBeforeRun;
  int m_RunningButton = 0;
  RunKind m_RunningKind = RunKind::Read;  // what the running run does
  bool m_DeviceChangeWaiting = false;
  bool m_DeviceImageComplete = false;  // the device image is one whole read
  bool m_CloseWhenStopped = false;
  std::optional<ProcedureOutcome> m_PendingPortLoss;  // told when the open box closes
  std::function<void()> m_ShowLog;
  QElapsedTimer m_RunClock;
  QElapsedTimer m_RateClock;                  // since the line's rate was last shown during a run
  int64_t m_RateBytes = 0;                    // the runner's bytes moved then
  std::unique_ptr<ProcedureRunner> m_Runner;  // last: ends its worker before the port goes
};

}  // namespace tolvane
