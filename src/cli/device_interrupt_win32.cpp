#include "device_interrupt.h"

#include <windows.h>

#include "serial/serial_port.h"

namespace tolvane::cli {
namespace {

// The console calls this on a thread of its own. The first Ctrl-C is taken;
// a second one goes on to the default handler, which ends the program.
BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      if (!NoteInterrupt()) return TRUE;
      GiveBackPortsNow();
      return FALSE;
    case CTRL_CLOSE_EVENT:
      if (NoteInterrupt()) {
        GiveBackPortsNow();
        return FALSE;
      }
      // The process ends as soon as this returns: waiting here gives the work
      // the system's grace time to stop at a block boundary and exit itself.
      Sleep(INFINITE);
      return TRUE;
    default: return FALSE;
  }
}

}  // namespace

void CatchInterrupt() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

// Windows has no SIGPIPE: a closed pipe fails the write.
void IgnoreOutputSignals() {}

}  // namespace tolvane::cli
