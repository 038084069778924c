// Ctrl-C, SIGTERM (what `timeout` and service managers send) and SIGHUP (the
// terminal closed), on Windows Ctrl-C, Ctrl-Break and closing the console,
// for the device commands: the first asks the running work to stop at the
// next block boundary, and a write blocked on a stalled line to give up at
// once; a second one gives the ports back and ends the program at once. The
// same signal delivered twice at once (by `timeout`) counts once
// (serial/stop_request.h).
#pragma once

#include <atomic>

namespace tolvane::cli {

void CatchInterrupt();
// A reader that goes away (`read --dump | head -1`) or a file that reaches
// its size limit fails the writes to it instead of killing the program with
// the port in its hands.
void IgnoreOutputSignals();
bool Interrupted();
// The flag behind Interrupted(), for a port to watch while it writes.
const std::atomic<bool>& InterruptFlag();

// For the platform's handler (device_interrupt_*.cpp): notes an interrupt and
// tells whether it forces the end (a second request, not a repeat of the
// first).
bool NoteInterrupt();

}  // namespace tolvane::cli
