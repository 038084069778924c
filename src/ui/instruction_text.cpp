#include "ui/instruction_text.h"

#include <QTextCursor>

#include "ui/rich_pane.h"
#include "ui/rich_text.h"

namespace tolvane {

QTextCharFormat InstructionFormat() {
  QTextCharFormat format;
  format.setFontFamilies(
      {QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"), QStringLiteral("serif")});
  format.setFontStyleHint(QFont::Serif);
  format.setFontPointSize(10);
  format.setForeground(QColor(0, 0, 0));
  return format;
}

void WriteInstructionText(RichPane& pane, const QTextCharFormat& format) {
  // A fresh text: nothing of the previous page, nor its formats, survives.
  pane.clear();
  pane.SetDefaultFormat(format);
  RichAppendText(pane, QString::fromUtf8(kInstructionHeading));
  QTextCursor all(pane.document());
  all.select(QTextCursor::Document);
  all.setCharFormat(format);
  for (const char* line : kInstructionLines) RichAppendText(pane, QString::fromUtf8(line));
  RichSelect(pane, 0, 0);
}

}  // namespace tolvane
