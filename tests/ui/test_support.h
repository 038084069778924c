// What the window tests share: seams that answer in place of the user and
// remember what was asked; the settings store and port list are the serial
// tests' in-memory ones.
#pragma once

#include <QString>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "serial/fakes.h"
#include "ui/ui_seams.h"

namespace tolvane::test {

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
