#include "command_line.h"

namespace tolvane::cli {

std::vector<std::string> CommandLineArguments(int argc, char** argv) { return {argv, argv + argc}; }

}  // namespace tolvane::cli
