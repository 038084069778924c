// What the window tests share: an in-memory settings store and seams that
// answer in place of the user and remember what was asked.
#pragma once

#include <QString>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "serial/settings_store.h"
#include "ui/ui_seams.h"

namespace tolvane::test {

class MemorySettings : public ISettingsStore {
 public:
  int32_t ReadInt(const std::string& section, const std::string& entry, int32_t def) override {
    auto it = m_Ints.find(section + "/" + entry);
    return it == m_Ints.end() ? def : it->second;
  }
  void WriteInt(const std::string& section, const std::string& entry, int32_t value) override {
    m_Ints[section + "/" + entry] = value;
  }
  std::string ReadString(const std::string& section, const std::string& entry, const std::string& def) override {
    auto it = m_Strings.find(section + "/" + entry);
    return it == m_Strings.end() ? def : it->second;
  }
  void WriteString(const std::string& section, const std::string& entry, const std::string& value) override {
    m_Strings[section + "/" + entry] = value;
  }
  std::map<std::string, int32_t> m_Ints;
  std::map<std::string, std::string> m_Strings;
};

// Installs seams for one test and puts the desktop back when it goes.
class FakeDesktop {
 public:
  FakeDesktop() {
    UiSeams& seams = Seams();
    seams.ShowMessage = [this](QWidget*, const MessageRequest& request) {
      Messages.push_back(request);
      if (Answers.empty()) return request.Default;
      MessageAnswer answer = Answers.front();
      Answers.pop_front();
      return answer;
    };
    seams.OpenUrl = [this](const QString& url) {
      Opened.push_back(url);
      return BrowserWorks;
    };
    seams.ChooseFile = [this](QWidget*, const FileRequest& request) {
      FileRequests.push_back(request);
      return NextFile;
    };
    seams.ChooseSaveFile = [this](QWidget*, const FileRequest& request) {
      FileRequests.push_back(request);
      return NextFile;
    };
  }
  ~FakeDesktop() { ResetSeams(); }
  FakeDesktop(const FakeDesktop&) = delete;
  FakeDesktop& operator=(const FakeDesktop&) = delete;

  std::vector<MessageRequest> Messages;
  std::deque<MessageAnswer> Answers;  // given in order; then each box's default
  std::vector<QString> Opened;
  bool BrowserWorks = true;
  std::vector<FileRequest> FileRequests;
  std::optional<QString> NextFile;
};

}  // namespace tolvane::test
