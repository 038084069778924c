// The program's arguments as UTF-8, as the paths among them must be for
// OpenFile. Windows hands main() its arguments in the ANSI code page, so there
// they are taken again from the UTF-16 command line.
#pragma once

#include <string>
#include <vector>

namespace tolvane::cli {

std::vector<std::string> CommandLineArguments(int argc, char** argv);

}  // namespace tolvane::cli
