// The few places where the window hands control to the desktop: message
// boxes, the browser, the file chooser. Each is a replaceable function so that
// tests can answer in place of a user and never leave a box blocking.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QWidget;

namespace tolvane {

enum class MessageIcon { Error, Exclamation, Question };
enum class MessageButtons { Ok, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Yes, No, Cancel };

struct MessageRequest {
  QString Text;
  QString Caption;
  MessageIcon Icon = MessageIcon::Error;
  MessageButtons Buttons = MessageButtons::Ok;
  MessageAnswer Default = MessageAnswer::Ok;  // the button Enter presses
};

struct FileRequest {
  QString Title;
  QString Folder;         // where the chooser starts
  QStringList Filters;    // "caption (*.ext)", in the order offered
  QString DefaultSuffix;  // added when the typed name has none
};

struct UiSeams {
  // Shows a modal box owned by the widget and returns the button pressed.
  std::function<MessageAnswer(QWidget* owner, const MessageRequest&)> ShowMessage;
  // Asks the desktop to open a web address; false when no browser started.
  std::function<bool(const QString& url)> OpenUrl;
  // Lets the user choose an existing file; nothing when cancelled.
  std::function<std::optional<QString>(QWidget* owner, const FileRequest&)> ChooseFile;
  // Lets the user choose a file name to save to; nothing when cancelled.
  std::function<std::optional<QString>(QWidget* owner, const FileRequest&)> ChooseSaveFile;
};

// The seams in force; they start as the real desktop.
UiSeams& Seams();
// Puts the real desktop back (tests call it when they are done).
void ResetSeams();

// Shorthand for an OK box.
void ShowMessage(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon);

}  // namespace tolvane
