#include "session/write_options.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

#include "image/hex_writer.h"
#include "log/file_open.h"
#include "session/local_time.h"

namespace tolvane {
namespace {

bool ParseNumber(const std::string& text, int64_t& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(text.c_str(), &end, 0);
  return errno == 0 && end != nullptr && *end == '\0';
}

std::string Hex(int64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%04llX", static_cast<unsigned long long>(value));
  return text;
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : text) {
    if (c == ',' || c == ' ' || c == '\t' || c == ';') {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(std::move(part));
  return parts;
}

std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// Why the parser refused one item on its own, in the window's words.
std::string ItemFault(const std::string& item) {
  const std::string quoted = std::string("«").append(item).append("»");
  const size_t colon = item.find(':');
  int64_t address = 0, length = 0;
  if (colon == std::string::npos || !ParseNumber(item.substr(0, colon), address) ||
      !ParseNumber(item.substr(colon + 1), length))
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

bool ParseKeepRanges(const std::vector<std::string>& texts, std::vector<FlashRange>& ranges, std::string* error) {
  auto refuse = [&](std::string why) {
    if (error != nullptr) *error = std::move(why);
    return false;
  };
  ranges.clear();
  for (const std::string& text : texts) {
    for (const std::string& item : Split(text)) {
      const size_t colon = item.find(':');
      int64_t address = 0, length = 0;
      if (colon == std::string::npos || !ParseNumber(item.substr(0, colon), address) ||
          !ParseNumber(item.substr(colon + 1), length)) {
        return refuse("'" + item + "' is no ADDR:LEN (numbers as 0xF000:256)");
      }
      if (length <= 0) {
        return refuse("'" + item + "' keeps nothing: its length must be above 0");
      }
      if (address < 0) {
        return refuse("'" + item + "' starts below 0: an address is not negative");
      }
      if (address < kMonitorAreaSize) {
        return refuse("'" + item + "' reaches into the monitor's area (below " + Hex(kMonitorAreaSize) + ")");
      }
      if (address > kFlashSize || length > kFlashSize - address) {
        return refuse("'" + item + "' reaches beyond the program flash (" + Hex(kFlashSize) + ")");
      }
      ranges.push_back({static_cast<int32_t>(address), static_cast<int32_t>(address + length)});
    }
  }
  std::sort(ranges.begin(), ranges.end(), [](const FlashRange& a, const FlashRange& b) { return a.Begin < b.Begin; });
  for (size_t i = 1; i < ranges.size(); ++i) {
    if (ranges[i].Begin < ranges[i - 1].End) {
      return refuse("the ranges at " + Hex(ranges[i - 1].Begin) + " and " + Hex(ranges[i].Begin) + " overlap");
    }
  }
  return true;
}

std::string KeepRangesText(const std::vector<FlashRange>& ranges) {
  std::string text;
  for (const FlashRange& range : ranges)
    text += (text.empty() ? "" : ", ") + Hex(range.Begin) + ":" + std::to_string(range.End - range.Begin);
  return text;
}

std::string BackupName(const DeviceIdentity& device, std::chrono::system_clock::time_point when) {
  const std::tm local = LocalTime(when);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  return (device.Known ? device.UniqueIdHex() : std::string("unknown")) + "-" + stamp + ".hex";
}

bool SaveBackup(const std::string& dir, const FirmwareImage& device, int keepLast, std::string& path,
                std::string* error) {
  std::error_code ec;
  const std::filesystem::path folder = PathOf(dir);
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    if (error != nullptr) *error = ec.message();
    return false;
  }
  const DeviceIdentity identity = IdentityOf(device);
  std::string name = BackupName(identity, std::chrono::system_clock::now());
  // Two in the same second get numbers of their own (-2, -3, ...).
  const std::string stem = name.substr(0, name.size() - std::string_view(".hex").size());
  for (int n = 2; std::filesystem::exists(folder / PathOf(name), ec); ++n)
    name = stem + "-" + std::to_string(n) + ".hex";
  // Named only once written: a backup that failed is no file to point at.
  const std::string made = Utf8Of(folder / PathOf(name));
  if (!WriteHexFile(made, device, error, DeviceReadExtents())) return false;
  path = made;
  if (keepLast <= 0) return true;
  // The device's own backups, oldest first by the time in their names, and
  // within a second by their numbers.
  const std::string prefix = identity.Known ? identity.UniqueIdHex() + "-" : "unknown-";
  std::vector<std::pair<std::pair<std::string, long>, std::filesystem::path>> own;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string file = Utf8Of(entry.path().filename());
    if (file.rfind(prefix, 0) != 0 || entry.path().extension() != ".hex") continue;
    const std::string stamp = file.substr(prefix.size(), file.size() - prefix.size() - 4);
    const size_t number = stamp.find('-', 9);  // after YYYYMMDD-HHMMSS
    own.push_back({{stamp.substr(0, number), number == std::string::npos ? 1 : std::atol(stamp.c_str() + number + 1)},
                   entry.path()});
  }
  std::sort(own.begin(), own.end());
  for (size_t i = 0; own.size() > static_cast<size_t>(keepLast) && i < own.size() - static_cast<size_t>(keepLast); ++i)
    std::filesystem::remove(own[i].second, ec);
  return true;
}

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
      why = std::string("области с ").append(Hex(each[i - 1].Begin)).append(" и с ").append(Hex(each[i].Begin));
      why += " перекрываются";
      return false;
    }
  }
  why = "список не принят";
  return false;
}

}  // namespace tolvane
