// Ctrl-C for the device commands: the first press asks the running work to
// stop at the next block boundary; a second press ends the program at once.
#pragma once

namespace tolvane::cli {

void CatchInterrupt();
bool Interrupted();

}  // namespace tolvane::cli
