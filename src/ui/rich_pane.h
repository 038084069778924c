// A read-only rich-text pane: the main window's header and view panes and the
// about box text. It reports mouse events over linked text the way the window
// handlers expect them (press, release, move, each with the link's range).
#pragma once

#include <QTextCharFormat>
#include <QTextEdit>
#include <functional>

namespace tolvane {

enum class LinkMouse { LeftPress, LeftRelease, Move, OtherPress };

struct LinkEvent {
  LinkMouse Mouse = LinkMouse::Move;
  int Begin = 0;  // first position of the linked range
  int End = 0;    // one past its last position
};

class RichPane : public QTextEdit {
  Q_OBJECT
 public:
  explicit RichPane(QWidget* parent = nullptr);

  // The format that appended text takes (what the pane calls its default).
  const QTextCharFormat& DefaultFormat() const { return m_Default; }
  void SetDefaultFormat(const QTextCharFormat& format);

  // Shows a document built elsewhere (the pane takes it); the previous one
  // goes if the pane owned it.
  void ReplaceDocument(QTextDocument* document);

  // Link notifications and automatic address detection in appended text.
  bool LinksEnabled() const { return m_Links; }
  void SetLinksEnabled(bool on) { m_Links = on; }

  // The linked range around a position, if the character there is linked.
  bool LinkRangeAt(int position, int& begin, int& end) const;

  // Extra entries for the context menu, added by the owning window.
  void SetMenuExtender(std::function<void(class QMenu&)> extender) { m_MenuExtender = std::move(extender); }

 signals:
  void LinkNotified(const tolvane::LinkEvent& event);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  // A disabled pane shows its links grey, as everything else is.
  void changeEvent(QEvent* event) override;

 private:
  // Emits a link notification when the point lies on linked text.
  bool NotifyLink(const QPoint& viewportPos, LinkMouse mouse);

  QTextCharFormat m_Default;
  bool m_Links = false;
  std::function<void(QMenu&)> m_MenuExtender;
};

}  // namespace tolvane
