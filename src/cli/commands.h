// The commands of tolvane-cli. main.cpp holds their table; each command's
// options and action are set up by a function in its own cmd_*.cpp.
#pragma once

#include <CLI/CLI.hpp>

namespace tolvane::cli {

// Each adds its command's options to the subcommand and sets its callback,
// which stores the command's exit code with SetExitCode.
void SetUpCapture(CLI::App& command);
void SetUpLoad(CLI::App& command);
void SetUpPorts(CLI::App& command);
void SetUpRead(CLI::App& command);
void SetUpRun(CLI::App& command);
void SetUpSim(CLI::App& command);
void SetUpStation(CLI::App& command);
void SetUpVerify(CLI::App& command);
void SetUpWrite(CLI::App& command);

void SetExitCode(int code);

}  // namespace tolvane::cli
