// Windows has no pseudo-terminals: the simulated device's line is always
// inside the program.
#include "sim/sim_line.h"

#include <windows.h>

namespace tolvane::sim {

std::unique_ptr<SimLine> OpenSimLine(bool, std::string& path, std::string*) { return OpenInProcessSimLine(path); }

void TuneServingThread(bool emulated) {
  if (emulated) SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
}

}  // namespace tolvane::sim
