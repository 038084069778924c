#include "device_interrupt.h"

#include <windows.h>

namespace tolvane::cli {
namespace {

// The console calls this on a thread of its own. The first Ctrl-C is taken;
// a second one goes on to the default handler, which ends the program.
BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT: return NoteInterrupt() ? FALSE : TRUE;
    default: return FALSE;
  }
}

}  // namespace

void CatchInterrupt() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

}  // namespace tolvane::cli
