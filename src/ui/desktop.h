// The few places where the window hands control to the desktop: message
// boxes, the browser, the file chooser. The window and what it opens get one
// IDesktop at construction: the real one, or in tests one that answers in
// place of a user and never leaves a box blocking.
//
// Errors, in this layer: a failure the user must know of becomes a message
// box owned by the main window, through IDesktop::ShowMessage.
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

class IDesktop {
 public:
  virtual ~IDesktop() = default;
  // Shows a box owned by the widget, modal to it alone, and returns the
  // button pressed.
  virtual MessageAnswer ShowMessage(QWidget* owner, const MessageRequest& request) = 0;
  // Asks the desktop to open a web address; false when no browser started.
  virtual bool OpenUrl(const QString& url) = 0;
  // Lets the user choose an existing file; nothing when cancelled.
  virtual std::optional<QString> ChooseFile(QWidget* owner, const FileRequest& request) = 0;
  // Lets the user choose a file name to save to; nothing when cancelled.
  virtual std::optional<QString> ChooseSaveFile(QWidget* owner, const FileRequest& request) = 0;
  // Asks for a line of text, starting from text; nothing when cancelled.
  virtual std::optional<QString> AskText(QWidget* owner, const QString& title, const QString& label,
                                         const QString& text) = 0;

  // Shorthand for an OK box.
  void ShowMessage(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) {
    ShowMessage(owner, MessageRequest{text, caption, icon, MessageButtons::Ok, MessageAnswer::Ok});
  }
};

// The user's desktop: Qt's message boxes, browser and file dialog.
IDesktop& RealDesktop();

// Another desktop, watched: whether one of its boxes or choosers is open, and
// a call when the last one has closed (what waited for it may show now).
class WatchedDesktop final : public IDesktop {
 public:
  explicit WatchedDesktop(IDesktop& inner) : m_Inner(inner) {}
  using IDesktop::ShowMessage;
  MessageAnswer ShowMessage(QWidget* owner, const MessageRequest& request) override;
  bool OpenUrl(const QString& url) override { return m_Inner.OpenUrl(url); }
  std::optional<QString> ChooseFile(QWidget* owner, const FileRequest& request) override;
  std::optional<QString> ChooseSaveFile(QWidget* owner, const FileRequest& request) override;
  std::optional<QString> AskText(QWidget* owner, const QString& title, const QString& label,
                                 const QString& text) override;

  bool Open() const { return m_Open > 0; }
  // The window is ending: no box or chooser opens any more (each answers as
  // its default, a chooser as cancelled).
  void Close() { m_Closed = true; }
  bool Closed() const { return m_Closed; }
  // Runs fn as one more open box (a dialog of the window's own).
  void AsBox(const std::function<void()>& fn);
  std::function<void()> OnAllClosed;

 private:
  IDesktop& m_Inner;
  int m_Open = 0;
  bool m_Closed = false;
};

}  // namespace tolvane
