#include "app/start_up.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QScreen>

#include "app/qt_settings_store.h"
#include "app/quit_signals.h"
#include "session/built_in_device.h"
#include "log/console_log.h"
#include "ui/log_window.h"
#include "ui/main_window.h"
#include "ui/program_icons.h"
#include "ui/web_links.h"

namespace tolvane {

namespace {

// The log window stands beside the main window (LogWindowPlace), as tall as it.
void PlaceBeside(QWidget& log, const QWidget& main) {
  const QRect frame = main.frameGeometry();
  QScreen* screen = main.screen();
  const QRect area = screen != nullptr ? screen->availableGeometry() : QRect();
  const QRect logFrame = log.frameGeometry();
  const QRect place = LogWindowPlace(frame, logFrame.size(), area);
  // The frame's own width and height around the client area.
  const int frameWidth = logFrame.width() - log.width();
  const int frameHeight = logFrame.height() - log.height();
  log.move(place.topLeft());
  log.resize(place.width() - frameWidth, place.height() - frameHeight);
}

}  // namespace

void SetUpApplication() {
  QCoreApplication::setApplicationName(QStringLiteral("tolvane"));
  QGuiApplication::setDesktopFileName(QStringLiteral("tolvane"));
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(translator);
}

void WriteBanner() {
  Log().SetColor(kColorBanner);
  Log().Text("* Программирование Pic18f26k42 через com-порт\n");
  Log().Text("* ").Text(BannerHomePageUrl().toStdString()).Text("\n\n");
  Log().SetColor(kColorNormal);
}

std::unique_ptr<CProgPicDlg> StartMainWindow(ISettingsStore& settings, const std::vector<PortRecord>& extraPorts,
                                             IPortSource* ports, IDesktop& desktop) {
  WriteBanner();
  // The size line follows the banner, before anything the window logs as it
  // starts (the port list).
  Log().Text("sizeof(dlg) = ").Unsigned(static_cast<uint32_t>(sizeof(CProgPicDlg))).Text("\n");
  return std::make_unique<CProgPicDlg>(settings, extraPorts, ports, desktop);
}

void ShowWindows(CProgPicDlg& window, LogWindow& log, const std::optional<QString>& file,
                 const std::function<void()>& choosePort) {
  window.show();
  log.show();
  PlaceBeside(log, window);
  // Closed, it comes back where it stood.
  window.SetLogWindowShower([&log] {
    log.show();
    log.raise();
  });
  window.raise();
  window.activateWindow();
  // A port that does not open says so over the shown window.
  if (choosePort) choosePort();
  // Opened only now: a warning about the file then stands over the main
  // window, with the log and its trace of the file beside it.
  if (file) window.OpenHexFile(*file);
}

int RunProgram(const std::vector<std::string>& extraPorts, const std::optional<QString>& file, bool simulated) {
  // Caught from the start (a port may open as the window is built); acted on
  // in the event loop, when the window is there.
  CProgPicDlg* shown = nullptr;
  CatchQuitSignals([&shown] {
    if (shown != nullptr) shown->StopAndClose();
  });
  LogWindow logWindow;
  logWindow.setWindowIcon(ProgramIcon());
  logWindow.Attach();
  Log().AddSink(std::make_shared<TerminalSink>(TerminalWantsColor()));

  std::vector<PortRecord> ports;
  for (const std::string& path : extraPorts) ports.push_back(PortRecord{path, std::string()});
  std::unique_ptr<SimulatedDevice> device;
  if (simulated) {
    std::string error;
    device = StartBuiltInDevice(kDefaultSimPace, &error);
    if (device) {
      ports.push_back(PortRecord{device->PortPath(), kSimulatedDeviceName});
    } else {
      Log()
          .SetColor(kColorWarning)
          .Text("Имитатор устройства не запущен: ")
          .Text(error)
          .Text("\n")
          .SetColor(kColorNormal);
    }
  }
  QtSettingsStore settings;
  std::unique_ptr<CProgPicDlg> main = StartMainWindow(settings, ports);
  CProgPicDlg& window = *main;
  shown = &window;

  // Not modal to the application: the log window takes input all the time.
  // Watched from the start: a signal may end the window under a box that
  // start-up shows, before the loop runs.
  QEventLoop loop;
  bool ended = false;
  QObject::connect(&window, &QDialog::finished, &loop, [&loop, &ended] {
    ended = true;
    loop.quit();
  });
  ShowWindows(window, logWindow, file, [&] {
    // The built-in device's line is gone at the next start: chosen, never
    // remembered. A port named on the command line is the user's choice.
    if (device) {
      window.ChoosePort(device->PortPath(), false);
    } else if (!extraPorts.empty()) {
      window.ChoosePort(extraPorts.front());
    }
  });
  if (!ended) loop.exec();
  logWindow.close();
  return 0;
}

}  // namespace tolvane
