#include "ui/rich_text.h"

#include <QRegularExpression>
#include <algorithm>
#include <QTextCursor>
#include <QTextDocument>

#include "ui/rich_pane.h"

namespace tolvane {

namespace {

// Addresses that the pane detects by itself, in any letter case. Only those
// that begin with a lower-case "h" are ever opened (see the link handler).
const QRegularExpression& AddressPattern() {
  static const QRegularExpression pattern(QStringLiteral(R"((?:https?://|ftp://|mailto:|www\.)[^\s<>"]+)"),
                                          QRegularExpression::CaseInsensitiveOption);
  return pattern;
}

void MarkAddresses(RichPane& pane, int start, const QString& text) {
  QRegularExpressionMatchIterator it = AddressPattern().globalMatch(text);
  while (it.hasNext()) {
    QRegularExpressionMatch match = it.next();
    QTextCursor cursor(pane.document());
    cursor.setPosition(start + static_cast<int>(match.capturedStart()));
    cursor.setPosition(start + static_cast<int>(match.capturedEnd()), QTextCursor::KeepAnchor);
    cursor.mergeCharFormat(LinkFormat());
  }
}

}  // namespace

int RichTextLength(const RichPane& pane) { return pane.document()->characterCount() - 1; }

int RichAppendText(RichPane& pane, const QString& text) {
  QTextCursor cursor(pane.document());
  cursor.movePosition(QTextCursor::End);
  int start = cursor.position();
  cursor.insertText(text, pane.DefaultFormat());
  pane.setTextCursor(cursor);
  if (pane.LinksEnabled()) MarkAddresses(pane, start, text);
  return start;
}

QString RichGetSelText(const RichPane& pane) {
  QString text = pane.textCursor().selectedText();
  text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
  return text;
}

void RichEnableLinks(RichPane& pane) { pane.SetLinksEnabled(true); }

void RichSelect(RichPane& pane, int begin, int end) {
  QTextCursor cursor(pane.document());
  int last = RichTextLength(pane);
  cursor.setPosition(std::clamp(begin, 0, last));
  cursor.setPosition(std::clamp(end, 0, last), QTextCursor::KeepAnchor);
  pane.setTextCursor(cursor);
}

void RichFormatRange(RichPane& pane, int begin, int end, const QTextCharFormat& format) {
  RichSelect(pane, begin, end);
  QTextCursor cursor = pane.textCursor();
  cursor.mergeCharFormat(format);
}

void RichMakeLink(RichPane& pane, int begin, int end) { RichFormatRange(pane, begin, end, LinkFormat()); }

QTextCharFormat BoldFormat() {
  QTextCharFormat format;
  format.setFontWeight(QFont::Bold);
  return format;
}

QTextCharFormat LinkFormat() {
  QTextCharFormat format;
  format.setAnchor(true);
  // The handler reads the linked text itself; the marker only lets the pane
  // find links under the mouse.
  format.setAnchorHref(QStringLiteral("link"));
  format.setForeground(QColor(0, 0, 255));
  format.setFontUnderline(true);
  return format;
}

}  // namespace tolvane
