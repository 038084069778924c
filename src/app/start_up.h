// The program's start: log window, banner, the one main window.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "session/window_texts.h"  // kSimulatedDeviceName: what `--sim` starts is listed under it
#include "sim/simulated_device.h"
#include "ui/main_window.h"

namespace tolvane {

class LogWindow;

// Names the program for the desktop and loads Qt's Russian texts for its
// standard dialogs, buttons and menus. Window titles stay as the program
// writes them: no program name is appended to them.
void SetUpApplication();

// Writes the banner to the log: two lines in colour 11 and an empty line.
void WriteBanner();

// The banner, the window's size line, then the main window, which lists the
// ports as it starts; ports null: the system's.
std::unique_ptr<CProgPicDlg> StartMainWindow(ISettingsStore& settings, const std::vector<PortRecord>& extraPorts,
                                             IPortSource* ports = nullptr, IDesktop& desktop = RealDesktop());

// Shows the main window with the log window beside it, then calls
// choosePort (if given: the port the command line named is chosen over the
// shown window) and opens file (if any) as the open button would.
void ShowWindows(CProgPicDlg& window, LogWindow& log, const std::optional<QString>& file,
                 const std::function<void()>& choosePort = {});

// Runs the program once; the main window's closing ends it. extraPorts are
// device paths offered in the port list besides the system's ports; the
// first is chosen, as the user would choose it.
// file: a HEX file to open at start, as the open button would.
// simulated: start a simulated device and choose it (over extraPorts), never
// remembered as the port of the next start.
int RunProgram(const std::vector<std::string>& extraPorts, const std::optional<QString>& file = std::nullopt,
               bool simulated = false);

}  // namespace tolvane
