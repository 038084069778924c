// In-memory stand-ins for what the port selector talks to.
#pragma once

#include "serial/port_list.h"
#include "serial/port_selector.h"
#include "serial/settings_store.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tolvane::test {

class FakePortSource : public IPortSource {
 public:
  bool ListPorts(std::vector<PortRecord>& ports) override {
    ++Calls;
    if (!Available) return false;
    ports.insert(ports.end(), Ports.begin(), Ports.end());
    return true;
  }
  std::vector<PortRecord> Ports;
  bool Available = true;
  int Calls = 0;
};

class FakeListControl : public IPortListControl {
 public:
  void ResetContent() override {
    Items.clear();
    CurrentIndex = -1;
    ++Resets;
  }
  int32_t AddItem(const std::string& text, const std::string& data) override {
    Items.emplace_back(text, data);
    return static_cast<int32_t>(Items.size()) - 1;
  }
  void SetCurrent(int32_t index) override { CurrentIndex = index; }
  int32_t Current() const override { return CurrentIndex; }
  std::string ItemData(int32_t index) const override { return Items.at(static_cast<size_t>(index)).second; }

  // What a user's click does: make an item current, then notify.
  void Pick(const std::string& data) {
    for (size_t i = 0; i < Items.size(); ++i)
      if (Items[i].second == data) CurrentIndex = static_cast<int32_t>(i);
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& item : Items) texts.push_back(item.first);
    return texts;
  }

  std::vector<std::pair<std::string, std::string>> Items;
  int32_t CurrentIndex = -1;
  int Resets = 0;
};

class FakeSettings : public ISettingsStore {
 public:
  int32_t ReadInt(const std::string& section, const std::string& entry, int32_t def) override {
    auto it = Ints.find(section + "/" + entry);
    return it == Ints.end() ? def : it->second;
  }
  void WriteInt(const std::string& section, const std::string& entry, int32_t value) override {
    Ints[section + "/" + entry] = value;
  }
  std::string ReadString(const std::string& section, const std::string& entry, const std::string& def) override {
    auto it = Strings.find(section + "/" + entry);
    return it == Strings.end() ? def : it->second;
  }
  void WriteString(const std::string& section, const std::string& entry, const std::string& value) override {
    Strings[section + "/" + entry] = value;
  }
  std::map<std::string, int32_t> Ints;
  std::map<std::string, std::string> Strings;
};

// A port the system does not have, named as this system remembers ports
// (Windows keeps only a COM number).
#ifdef _WIN32
inline const std::string kAbsentPort = "COM98";
#else
inline const std::string kAbsentPort = "/dev/pts/98";
#endif

class FakeErrorBox : public IErrorBox {
 public:
  void ShowError(const std::string& text, const std::string& caption) override { Shown.emplace_back(text, caption); }
  std::vector<std::pair<std::string, std::string>> Shown;
};

}  // namespace tolvane::test
