// The words of a run in progress, as every program shows them beside its
// progress bar.
#pragma once

#include <optional>
#include <string>

#include "protocol/procedures.h"
#include "session/run_reporter.h"
#include "session/run_result.h"

namespace tolvane {

// The stage of a run and how far it has come within it.
struct StageProgress {
  std::optional<ProgressPhase> Phase;  // none until the procedure names one
  int32_t Done = 0;
  int32_t Total = 0;
};

// "Чтение", "Верификация" (a verify's read), "Резервная копия", "Запись", "Проверка".
std::string StageName(ProgressPhase phase, RunKind kind);

// The bar's text: the stage's own blocks under its name when it has one
// ("Запись: 120 из 1008 блоков"), else the run's; then the whole run's time
// left (", осталось 12 с") when it is known.
std::string ProgressText(RunKind kind, const StageProgress& stage, const RunProgress& progress,
                         std::optional<double> secondsLeft);

// What to do while the monitor is waited for, with the time left.
std::string WaitingText(double secondsLeft);

}  // namespace tolvane
