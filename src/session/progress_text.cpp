#include "session/progress_text.h"

namespace tolvane {

namespace {
std::string Seconds(double seconds) { return std::to_string(static_cast<int>(seconds + 0.5)); }
}  // namespace

std::string StageName(ProgressPhase phase, RunKind kind) {
  switch (phase) {
    case ProgressPhase::Read: return kind == RunKind::Verify ? "Верификация" : "Чтение";
    case ProgressPhase::ReadBefore: return "Резервная копия";  // a write reads first only for one
    case ProgressPhase::Write: return "Запись";
    case ProgressPhase::Check: return "Проверка";
  }
  return {};
}

std::string ProgressText(RunKind kind, const StageProgress& stage, const RunProgress& progress,
                         std::optional<double> secondsLeft) {
  std::string text;
  if (stage.Phase && stage.Total > 0) {
    text = StageName(*stage.Phase, kind) + ": " + std::to_string(stage.Done) + " из " + std::to_string(stage.Total) +
           " блоков";
  } else {
    text = std::to_string(progress.Done) + " из " + std::to_string(progress.Total) + " блоков";
  }
  if (secondsLeft) text += ", осталось " + Seconds(*secondsLeft) + " с";
  return text;
}

std::string WaitingText(double secondsLeft) {
  return "Включите модуль или перезапустите его (захват включён): осталось " + Seconds(secondsLeft) + " с";
}

}  // namespace tolvane
