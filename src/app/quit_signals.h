// The signals that end the program from outside (SIGTERM, SIGHUP: the
// session ended, SIGINT: Ctrl-C in the terminal it was started from): the
// first asks the window to stop a running procedure between two blocks and
// close, so the port is given back as it was found; a second one (not the
// first delivered again, serial/stop_request.h) gives the ports back at once
// and ends the program.
#pragma once

#include <functional>

namespace tolvane {

// Calls onQuit on the window's thread when a first such signal arrives.
// Where the system has no such signals, nothing is caught.
void CatchQuitSignals(std::function<void()> onQuit);

}  // namespace tolvane
