// Each command of tolvane-cli lives in a file of its own and registers itself
// here; main() builds the command line from the registry.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <vector>

namespace tolvane::cli {

// Adds a subcommand to the app. The subcommand's callback stores its exit
// code with SetExitCode.
using CommandSetup = std::function<void(CLI::App& app)>;

std::vector<CommandSetup>& Commands();

struct CommandRegistrar {
  explicit CommandRegistrar(CommandSetup setup) { Commands().push_back(std::move(setup)); }
};

void SetExitCode(int code);
int ExitCode();

}  // namespace tolvane::cli
