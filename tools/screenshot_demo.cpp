// Shows the window as a user sees it after a write and its verification
// against the simulated device, for the screenshot in the README:
// tolvane_screenshot_demo HEXFILE READYFILE. When the verdict is on screen it
// writes READYFILE; the caller takes the picture and ends the program.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "app/qt_settings_store.h"
#include "app/start_up.h"
#include "image/hex_reader.h"
#include "log/console_log.h"
#include "sim/simulated_device.h"
#include "ui/log_window.h"
#include "ui/main_window.h"
#include "ui/main_window_layout.h"
#include "ui/program_icons.h"
#include "ui/desktop.h"

using namespace tolvane;

namespace {

// The user's desktop, except that the file chooser picks the demo's file.
class DemoDesktop final : public IDesktop {
 public:
  explicit DemoDesktop(QString file) : m_File(std::move(file)) {}
  using IDesktop::ShowMessage;
  MessageAnswer ShowMessage(QWidget* owner, const MessageRequest& request) override {
    return RealDesktop().ShowMessage(owner, request);
  }
  bool OpenUrl(const QString& url) override { return RealDesktop().OpenUrl(url); }
  std::optional<QString> ChooseFile(QWidget*, const FileRequest&) override { return m_File; }
  std::optional<QString> ChooseSaveFile(QWidget* owner, const FileRequest& request) override {
    return RealDesktop().ChooseSaveFile(owner, request);
  }

 private:
  QString m_File;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  SetUpApplication();
  QStringList args = QApplication::arguments();
  if (args.size() != 3) {
    std::fprintf(stderr, "usage: tolvane_screenshot_demo HEXFILE READYFILE\n");
    return 2;
  }
  const QString hexFile = args[1];
  const QString readyFile = args[2];

  // A device that already holds the file's identifiers and configuration
  // words (no procedure writes those), so the verdict is about flash only.
  FirmwareImage file;
  LoadHexFile(hexFile.toStdString(), file);
  SimulatedDeviceOptions options;
  options.BaudRate = kDefaultBaud;
  SimulatedDevice device(options);
  std::string error;
  if (!device.Start(&error)) {
    std::fprintf(stderr, "simulated device: %s\n", error.c_str());
    return 1;
  }
  FirmwareImage memory = SimulatedDevice::FactoryImage();
  for (int k = 0; k < kVerifiedRegionCount; ++k) std::copy_n(file.Slot(k), kRegionSlotSize, memory.Slot(k));
  device.SetMemory(memory);

  LogWindow log;
  log.setWindowIcon(ProgramIcon());
  log.Attach();
  WriteBanner();
  QTemporaryDir home;
  QtSettingsStore settings(home.filePath(QStringLiteral("settings.ini")));
  DemoDesktop desktop(hexFile);
  CProgPicDlg window(settings, {{device.PortPath(), ""}}, nullptr, desktop);
  window.move(0, 0);
  window.show();
  log.move(window.frameGeometry().right() + 1, 0);
  log.resize(560, window.frameGeometry().height());
  log.show();

  // What the user does: the port, the file, "ЗАПИСАТЬ".
  QComboBox& combo = window.PortCombo();
  int index = combo.findData(QString::fromStdString(device.PortPath()));
  combo.setCurrentIndex(index);
  emit combo.activated(index);
  window.OnOpenHexFile();
  window.Button(ctl::kWrite)->click();

  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (qobject_cast<QMessageBox*>(w) != nullptr && w->isVisible()) {
        // Beside the pane's blue monitor area, not over it.
        w->move(window.frameGeometry().center().x() - w->width() / 2, window.geometry().bottom() - w->height() - 40);
        QFile ready(readyFile);
        ready.open(QIODevice::WriteOnly);
        poll.stop();
      }
    }
  });
  poll.start(200);
  return window.exec() == QDialog::Accepted ? 0 : 0;
}
