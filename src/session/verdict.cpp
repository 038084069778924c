#include "session/verdict.h"

#include "serial/system_error.h"

namespace tolvane {

ProcedureOutcome LostPortWords(ProcedureOutcome loss, uint32_t portError) {
  if (portError == 0) return loss;
  const std::string reason = FormatSystemError(portError);
  const size_t at = loss.Text.find("\n" + reason + "\n");
  if (at != std::string::npos) loss.Text.insert(at + 1, "Связь с портом потеряна: ");
  return loss;
}

std::optional<ProcedureOutcome> VerdictOf(const RunResult& result, uint32_t portError, const std::string& where) {
  if (!result.Outcome) return std::nullopt;
  ProcedureOutcome outcome = result.PortLost ? LostPortWords(*result.Outcome, portError) : *result.Outcome;
  if (result.Kind != RunKind::Write || result.Options.BackupDir.empty()) return outcome;
  // A backup that could not be saved says so itself, with the reason.
  if (!result.BackupPath.empty()) {
    outcome.Text += "\nРезервная копия: " + where;
  } else if (result.Status != ProcedureStatus::Refused) {
    outcome.Text += "\nРезервная копия не сохранена: прошивка модуля не была прочитана целиком.";
  }
  return outcome;
}

}  // namespace tolvane
