// The work of several ports at once: a thread per port (the calling thread
// alone for one), the trace's lines of each named by its label when there
// are several. The command line's device commands and the station run
// their ports through it; one run on one port needs no thread.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace tolvane {

void ForEachPort(const std::vector<std::string>& labels, const std::function<void(size_t index)>& work);

}  // namespace tolvane
