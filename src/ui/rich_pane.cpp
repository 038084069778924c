#include "ui/rich_pane.h"

#include "ui/rich_text.h"

#include <QAbstractTextDocumentLayout>
#include <QContextMenuEvent>
#include <QEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <memory>

namespace tolvane {

namespace {
bool IsLinked(const QTextCharFormat& format) { return format.isAnchor(); }
}  // namespace

RichPane::RichPane(QWidget* parent) : QTextEdit(parent) {
  setReadOnly(true);
  setUndoRedoEnabled(false);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setMouseTracking(true);
  viewport()->setMouseTracking(true);
}

void RichPane::changeEvent(QEvent* event) {
  QTextEdit::changeEvent(event);
  if (event->type() != QEvent::EnabledChange) return;
  const QColor color =
      isEnabled() ? LinkFormat().foreground().color() : palette().color(QPalette::Disabled, QPalette::Text);
  QTextCursor cursor(document());
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.isValid() || !IsLinked(fragment.charFormat())) continue;
      cursor.setPosition(fragment.position());
      cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
      QTextCharFormat recolored;
      recolored.setForeground(color);
      cursor.mergeCharFormat(recolored);
    }
  }
}

void RichPane::SetDefaultFormat(const QTextCharFormat& format) {
  m_Default = format;
  if (format.hasProperty(QTextFormat::FontFamilies) || format.hasProperty(QTextFormat::FontPointSize)) {
    document()->setDefaultFont(format.font());
  }
}

void RichPane::ReplaceDocument(QTextDocument* replacement) {
  // The pane's first document belongs to the pane's text control, which
  // drops it itself; the later ones are ours.
  QTextDocument* previous = document();
  bool ours = previous->parent() == this;
  replacement->setParent(this);
  setDocument(replacement);
  if (ours) delete previous;
}

bool RichPane::LinkRangeAt(int position, int& begin, int& end) const {
  QTextBlock block = document()->findBlock(position);
  if (!block.isValid()) return false;
  // Fragments of one block are in order; gather the linked run that holds the position.
  int runBegin = -1;
  int runEnd = -1;
  for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
    QTextFragment fragment = it.fragment();
    if (!fragment.isValid()) continue;
    int fBegin = fragment.position();
    int fEnd = fBegin + fragment.length();
    if (IsLinked(fragment.charFormat())) {
      if (runBegin < 0 || fBegin != runEnd) runBegin = fBegin;
      runEnd = fEnd;
      if (position >= runBegin && position < runEnd) {
        // Extend over linked fragments that follow directly.
        for (++it; !it.atEnd(); ++it) {
          QTextFragment next = it.fragment();
          if (!IsLinked(next.charFormat()) || next.position() != runEnd) break;
          runEnd = next.position() + next.length();
        }
        begin = runBegin;
        end = runEnd;
        return true;
      }
    } else {
      runBegin = -1;
    }
  }
  return false;
}

bool RichPane::NotifyLink(const QPoint& viewportPos, LinkMouse mouse) {
  if (!m_Links || anchorAt(viewportPos).isEmpty()) return false;
  QPointF contentPos(viewportPos.x() + horizontalScrollBar()->value(), viewportPos.y() + verticalScrollBar()->value());
  int position = document()->documentLayout()->hitTest(contentPos, Qt::ExactHit);
  int begin = 0;
  int end = 0;
  if (position < 0 || !LinkRangeAt(position, begin, end)) return false;
  emit LinkNotified(LinkEvent{mouse, begin, end});
  return true;
}

void RichPane::mousePressEvent(QMouseEvent* event) {
  LinkMouse mouse = event->button() == Qt::LeftButton ? LinkMouse::LeftPress : LinkMouse::OtherPress;
  NotifyLink(event->position().toPoint(), mouse);
  QTextEdit::mousePressEvent(event);
}

void RichPane::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) NotifyLink(event->position().toPoint(), LinkMouse::LeftRelease);
  QTextEdit::mouseReleaseEvent(event);
}

void RichPane::mouseMoveEvent(QMouseEvent* event) {
  bool onLink = NotifyLink(event->position().toPoint(), LinkMouse::Move);
  viewport()->setCursor(onLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
  QTextEdit::mouseMoveEvent(event);
}

void RichPane::contextMenuEvent(QContextMenuEvent* event) {
  std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
  if (m_MenuExtender) m_MenuExtender(*menu);
  menu->exec(event->globalPos());
}

}  // namespace tolvane
