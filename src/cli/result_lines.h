// The lines that follow a run's outcome on the command line: what was sent,
// where a verify found differences, why a port could not be used.
#pragma once

#include <string>
#include <vector>

#include "session/run_result.h"

namespace tolvane::cli {

std::vector<std::string> ResultLines(const RunResult& result);

// For each area with differences: its count and its first differing address.
std::vector<std::string> DifferenceLines(const CompareCounts& counts);

}  // namespace tolvane::cli
