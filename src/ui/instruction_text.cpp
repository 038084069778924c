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
  RichAppendText(pane, QStringLiteral("Для получения более подробной информации нажмите кнопку справки 'F1'\r\n\r\n"));
  RichAppendText(pane, QStringLiteral("1. Выбирете ком-порт устройства и включите (перезагрузите) устройство. \r\n"));
  RichAppendText(pane,
                 QStringLiteral("В режиме перепрошивки яркость светодиода каждую секунду плавно возрастает от нуля "
                                "до максимума.\r\n"));
  RichAppendText(
      pane, QStringLiteral("2. При наличии новой прошивки откройте скачанный hex файл и нажмите кнопку "
                           "'ЗАПИСАТЬ'. Через некоторое время будет выдана информация о результате процесса.\r\n"));
  RichAppendText(pane, QStringLiteral("3. Для перевода устройства в штатный режим нажмите кнопку 'ПУСК!!!' или "
                                      "перезагрузите отключением питания.\r\n"));
  RichSelect(pane, 0, 0);
}

}  // namespace tolvane
