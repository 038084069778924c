#include "app/start_up.h"

#include <QGuiApplication>
#include <QScreen>

#include "app/qt_settings_store.h"
#include "log/console_log.h"
#include "ui/log_window.h"
#include "ui/main_window.h"
#include "ui/program_icons.h"
#include "ui/web_links.h"

namespace tolvane {

namespace {

// The log window stands beside the main window, right of it where the screen
// has room, else left of it.
void PlaceBeside(QWidget& log, const QWidget& main) {
  QRect frame = main.frameGeometry();
  QScreen* screen = main.screen();
  QRect area = screen != nullptr ? screen->availableGeometry() : QRect();
  int width = log.frameGeometry().width();
  int x = frame.right() + 1;
  if (area.isValid() && x + width > area.right()) x = std::max(area.left(), frame.left() - width);
  log.move(x, frame.top());
  log.resize(log.width(), frame.height());
}

}  // namespace

void WriteBanner() {
  Log().SetColor(kColorBanner);
  Log().Text("* Программирование Pic18f26k42 через com-порт\n");
  Log().Text("* ").Text(BannerHomePageUrl().toStdString()).Text("\n\n");
  Log().SetColor(kColorNormal);
}

int RunProgram(const std::vector<std::string>& extraPorts) {
  LogWindow logWindow;
  logWindow.setWindowIcon(ProgramIcon());
  logWindow.Attach();
  Log().AddSink(std::make_shared<TerminalSink>(TerminalWantsColor()));

  WriteBanner();
  QtSettingsStore settings;
  CProgPicDlg window(settings, extraPorts);
  Log().Text("sizeof(dlg) = ").Unsigned(static_cast<uint32_t>(sizeof(window))).Text("\n");

  window.show();
  logWindow.show();
  PlaceBeside(logWindow, window);
  window.raise();
  window.activateWindow();
  int result = window.exec();
  logWindow.close();
  return result == QDialog::Accepted || result == QDialog::Rejected ? 0 : 1;
}

}  // namespace tolvane
