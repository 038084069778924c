// The message a user is shown when something on the line ends: its text,
// caption and icon, as the window's message box shows them and the command
// line prints them. The procedures end with one; so does a receive tick
// whose read failed.
#pragma once

#include <string>

namespace tolvane {

enum class OutcomeIcon { Error, Exclamation };

// The caption of every message about the port itself (lost, not opened).
inline constexpr const char* kPortErrorCaption = "ОШИБКА ПРИ РАБОТЕ С COM-ПОРТОМ";

struct ProcedureOutcome {
  std::string Text;
  std::string Caption;
  OutcomeIcon Icon = OutcomeIcon::Error;
};

}  // namespace tolvane
