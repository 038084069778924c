#include "device_interrupt.h"

#include <csignal>

#include "serial/serial_port.h"

namespace tolvane::cli {
namespace {

// The first signal asks the work to stop at a block boundary; a second one
// (not the first delivered again) gives the ports back as they were found
// and ends the program at once.
extern "C" void OnInterrupt(int number) {
  if (NoteInterrupt()) GiveBackPortsAndRaise(number);
}

}  // namespace

void CatchInterrupt() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // The terminal closing (SIGHUP: the window closed, an ssh session dropped)
  // ends a write as Ctrl-C and SIGTERM do.
  for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
}

void IgnoreOutputSignals() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace tolvane::cli
