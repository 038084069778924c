#include "serial/udev_record.h"

#include <algorithm>
#include <iterator>

namespace tolvane {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Trimmed(std::string text) {
  auto blank = [](unsigned char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(static_cast<unsigned char>(text.back()))) text.pop_back();
  size_t first = 0;
  while (first < text.size() && blank(static_cast<unsigned char>(text[first]))) ++first;
  return text.substr(first);
}

// The serial core's UART types ("type" attribute), for built-in ports that
// the hardware database does not name.
std::string UartName(const std::string& type) {
  static const char* const kNames[] = {"",        "8250",  "16450",    "16550",  "16550A", "Cirrus", "16650",
                                       "16650V2", "16750", "Startech", "16C950", "16654",  "16850",  "RSA"};
  size_t n = 0;
  for (char c : type) {
    if (c < '0' || c > '9') return {};
    n = n * 10 + static_cast<size_t>(c - '0');
    if (n >= std::size(kNames)) return {};
  }
  return n == 0 ? std::string() : std::string(kNames[n]) + " UART";
}

std::string FriendlyNameOf(const UdevTtyRecord& r) {
  // The product string the device reports comes first: it is what a user
  // sees elsewhere for the adapter ("FT232R USB UART").
  std::string product = Trimmed(DecodeUdevText(r.ModelEnc));
  if (product.empty()) {
    product = r.Model;
    std::replace(product.begin(), product.end(), '_', ' ');
    product = Trimmed(product);
  }
  if (!product.empty()) return product;
  std::string fromDatabase = Trimmed(r.VendorFromDatabase + " " + r.ModelFromDatabase);
  if (!fromDatabase.empty()) return fromDatabase;
  std::string uart = r.HasSerialType ? UartName(r.SerialType) : std::string();
  return uart.empty() ? r.Driver : uart;
}

}  // namespace

std::string DecodeUdevText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
      int hi = HexValue(text[i + 2]), lo = HexValue(text[i + 3]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 3;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

bool ToPortRecord(const UdevTtyRecord& record, PortRecord& port) {
  if (record.DevNode.empty() || !record.HasParent) return false;
  // Built-in UART slots are all registered; only those with a UART answer.
  if (record.HasSerialType && (record.SerialType.empty() || record.SerialType == "0")) return false;
  port.Name = record.DevNode;
  port.FriendlyName = FriendlyNameOf(record);
  return true;
}

}  // namespace tolvane
