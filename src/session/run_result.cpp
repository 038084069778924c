#include "session/run_result.h"

#include "session/exit_codes.h"

namespace tolvane {

const char* RunKindName(RunKind kind) {
  switch (kind) {
    case RunKind::Read: return "read";
    case RunKind::Verify: return "verify";
    case RunKind::Write: return "write";
    case RunKind::Run: return "run";
    case RunKind::Capture: return "capture";
  }
  return "read";
}

int ExitCodeOf(const RunResult& result) {
  if (!result.OpenError.empty()) return kExitLink;
  switch (result.Status) {
    case ProcedureStatus::Done: return kExitOk;
    case ProcedureStatus::Differs: return kExitDiffers;
    case ProcedureStatus::LinkFailed: return kExitLink;
    // Only a write refuses for its file; the others for their port.
    case ProcedureStatus::Refused: return result.Kind == RunKind::Write ? kExitFile : kExitLink;
    case ProcedureStatus::Stopped: return kExitInterrupted;
  }
  return kExitLink;
}

}  // namespace tolvane
