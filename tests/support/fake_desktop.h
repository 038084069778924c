// What the window tests share: a desktop that answers in place of the user; the settings store and port list are the
// serial tests' in-memory ones.
#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fakes.h"
#include "ui/desktop.h"

namespace tolvane::test {

// A desktop that answers in place of the user and remembers what was asked.
class FakeDesktop final : public IDesktop {
 public:
  using IDesktop::ShowMessage;
  MessageAnswer ShowMessage(QWidget*, const MessageRequest& request) override {
    Messages.push_back(request);
    if (WhileShown) WhileShown();
    if (Answers.empty()) return request.Default;
    MessageAnswer answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  bool OpenUrl(const QString& url) override {
    Opened.push_back(url);
    return BrowserWorks;
  }
  std::optional<QString> ChooseFile(QWidget*, const FileRequest& request) override {
    FileRequests.push_back(request);
    return NextFile;
  }
  std::optional<QString> ChooseSaveFile(QWidget*, const FileRequest& request) override {
    FileRequests.push_back(request);
    return NextFile;
  }
  std::optional<QString> AskText(QWidget*, const QString&, const QString& label, const QString& text) override {
    Asked.push_back(label + QStringLiteral(": ") + text);
    return NextText;
  }

  std::vector<MessageRequest> Messages;
  std::deque<MessageAnswer> Answers;  // given in order; then each box's default
  std::function<void()> WhileShown;   // runs while each box is up
  std::vector<QString> Opened;
  bool BrowserWorks = true;
  std::vector<FileRequest> FileRequests;
  std::optional<QString> NextFile;
  std::vector<QString> Asked;       // each text asked for, with what it started from
  std::optional<QString> NextText;  // the answer to each
};

}  // namespace tolvane::test
