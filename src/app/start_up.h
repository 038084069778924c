// The program's start: log window, banner, the one main window run modally.
#pragma once

#include <string>
#include <vector>

namespace tolvane {

// Writes the banner to the log: two lines in colour 11 and an empty line.
void WriteBanner();

// Runs the program once; the main window's closing ends it. extraPorts are
// device paths offered in the port list besides the system's ports.
int RunProgram(const std::vector<std::string>& extraPorts);

}  // namespace tolvane
