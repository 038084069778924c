#include "session/update_choices.h"

#include "session/write_options.h"

namespace tolvane {

bool FillRunOptions(const UpdateChoices& choices, RunKind kind, const std::string& backups, RunOptions& options,
                    std::string& why) {
  // The firmware's start needs no monitor to wait for: it is sent blind.
  if (kind != RunKind::Run && choices.WaitForMonitor) options.WaitSeconds = kWindowWaitSeconds;
  if (kind != RunKind::Write) return true;
  options.ChangedOnly = choices.ChangedOnly;
  if (choices.Backup) {
    options.BackupDir = backups;
    options.BackupKeep = kWindowBackupsKept;
  }
  return !choices.KeepData || ReadKeepRanges(choices.KeepRanges, options.Keep, why);
}

ProcedureOutcome KeepRangesRefusal(const std::string& why) {
  return {"Области данных модуля заданы неверно: " + why + "\nЗапись не начата, прошивка в модуле не изменена.",
          "ОШИБКА ЗАПИСИ", OutcomeIcon::Error};
}

}  // namespace tolvane
