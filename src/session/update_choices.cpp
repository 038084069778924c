#include "session/update_choices.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "image/firmware_image.h"
#include "session/write_options.h"

namespace tolvane {
namespace {

// As the parser writes addresses: 0xF000, 0x0400.
std::string Hex(int64_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%04llX", static_cast<unsigned long long>(value));
  return text;
}

// A number as the shared parser reads one (C-style: 0xF000, 61440, 0170000).
bool ReadNumber(const std::string& text, int64_t& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(text.c_str(), &end, 0);
  return errno == 0 && end != nullptr && *end == '\0';
}

// Why the parser refused one item on its own, in the window's words.
std::string ItemFault(const std::string& item) {
  const std::string quoted = "«" + item + "»";
  const size_t colon = item.find(':');
  int64_t address = 0, length = 0;
  if (colon == std::string::npos || !ReadNumber(item.substr(0, colon), address) ||
      !ReadNumber(item.substr(colon + 1), length))
    return quoted + " не в виде АДРЕС:ДЛИНА (числа как 0xF000:256)";
  if (length <= 0) return quoted + " ничего не сохраняет: длина должна быть больше 0";
  if (address < 0) return quoted + ": адрес не может быть отрицательным";
  if (address < kMonitorAreaSize) return quoted + " заходит в область монитора (ниже " + Hex(kMonitorAreaSize) + ")";
  if (address + length > kFlashSize) return quoted + " выходит за конец памяти программ (" + Hex(kFlashSize) + ")";
  return quoted + " не принята";
}

// The items of a list as the parser separates them.
std::vector<std::string> Items(const std::string& text) {
  std::vector<std::string> items;
  std::string item;
  for (const char c : text + " ") {
    if (c == ',' || c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (!item.empty()) items.push_back(item);
      item.clear();
    } else {
      item += c;
    }
  }
  return items;
}

}  // namespace

bool ReadKeepRanges(const std::string& text, std::vector<FlashRange>& ranges, std::string& why) {
  ranges.clear();
  const std::vector<std::string> items = Items(text);
  // Nothing to keep needs no parser.
  if (items.empty()) return true;
  std::string error;
  if (ParseKeepRanges({text}, ranges, &error)) return true;
  // The parser, shared with the command line, words its refusal in English:
  // the item it refuses on its own is the one at fault.
  std::vector<FlashRange> each, one;
  for (const std::string& item : items) {
    if (!ParseKeepRanges({item}, one, &error)) {
      why = ItemFault(item);
      return false;
    }
    each.insert(each.end(), one.begin(), one.end());
  }
  // Each alone is right: two of them overlap.
  std::sort(each.begin(), each.end(), [](const FlashRange& a, const FlashRange& b) { return a.Begin < b.Begin; });
  for (size_t i = 1; i < each.size(); ++i) {
    if (each[i].Begin < each[i - 1].End) {
      why = "области с " + Hex(each[i - 1].Begin) + " и с " + Hex(each[i].Begin) + " перекрываются";
      return false;
    }
  }
  why = "список не принят";
  return false;
}

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
