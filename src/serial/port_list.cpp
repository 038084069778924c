#include "serial/port_list.h"

#include "log/console_log.h"
#include "serial/perf_timer.h"

#include <algorithm>

namespace tolvane {

std::string ShortPortName(std::string_view name) {
  constexpr std::string_view kDev = "/dev/";
  if (name.substr(0, kDev.size()) == kDev) name.remove_prefix(kDev.size());
  return std::string(name);
}

bool NaturalLess(std::string_view a, std::string_view b) {
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      size_t ei = i, ej = j;
      while (ei < a.size() && isDigit(a[ei])) ++ei;
      while (ej < b.size() && isDigit(b[ej])) ++ej;
      // Compare by value: skip leading zeros, then length, then digits.
      size_t si = i, sj = j;
      while (si + 1 < ei && a[si] == '0') ++si;
      while (sj + 1 < ej && b[sj] == '0') ++sj;
      if (ei - si != ej - sj) return ei - si < ej - sj;
      int c = a.substr(si, ei - si).compare(b.substr(sj, ej - sj));
      if (c != 0) return c < 0;
      i = ei;
      j = ej;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

void OSerialPortList::Clear() {
  m_Entries.clear();
  m_PoolUsed = 0;
}

void OSerialPortList::Enumerate(IPortSource& source) {
  OPerfTimer timer;
  std::vector<PortRecord> found;
  if (!source.ListPorts(found)) return;
  for (PortRecord& port : found) {
    // The list's capacity: 256 ports, 8192 bytes of friendly names.
    if (port.Name.empty() || Count() >= kMaxEntries) continue;
    size_t need = port.FriendlyName.size() + 1;
    if (kNamePool - m_PoolUsed < need) continue;
    m_PoolUsed += need;
    m_Entries.push_back(std::move(port));
  }
  std::stable_sort(m_Entries.begin(), m_Entries.end(),
                   [](const PortRecord& a, const PortRecord& b) { return NaturalLess(a.Name, b.Name); });
  Log()
      .Text("Вижу ")
      .Dec(Count())
      .Text(" COM-портов, время опроса списка ")
      .Float(timer.Elapsed() * 1000.0)
      .Text(" мс \n");
}

std::string OSerialPortList::ItemText(const PortRecord& port) {
  return ShortPortName(port.Name) + " " + port.FriendlyName;
}

int32_t OSerialPortList::FillCombo(IPortListControl& combo, const std::string& wanted) const {
  combo.ResetContent();
  int32_t selected = combo.AddItem(kNoPortItem, "");
  if (!wanted.empty()) selected = -1;
  for (const PortRecord& port : m_Entries) {
    int32_t index = combo.AddItem(ItemText(port), port.Name);
    if (port.Name == wanted) selected = index;  // a later equal name wins
  }
  // Also "none": some list controls make their first item current by themselves.
  combo.SetCurrent(selected);
  return selected;
}

}  // namespace tolvane
