// The message a program shows when a run ends, or when its port is lost
// between runs: the same words in every program.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/outcome.h"
#include "session/run_result.h"

namespace tolvane {

// The system's reason for a lost port (its own words, English on many
// systems, the browser's on a page) follows the words for what happened,
// not on a line by itself. portError: the port's LastError().
ProcedureOutcome LostPortWords(ProcedureOutcome loss, uint32_t portError);

// The run's outcome as the user is shown it: a lost port's reason after the
// words for it; a write that was to make a backup says where it is (where:
// how the user finds it, as the program names it), or that there is none.
// Nothing when the run has no outcome.
std::optional<ProcedureOutcome> VerdictOf(const RunResult& result, uint32_t portError, const std::string& where);

}  // namespace tolvane
