#include "ui/about_dialog.h"

#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QShortcut>
#include <QTextBlockFormat>
#include <QTextCursor>

#include "ui/dialog_units.h"
#include "ui/link_handler.h"
#include "ui/program_icons.h"
#include "ui/rich_pane.h"
#include "ui/rich_text.h"
#include "ui/web_links.h"

namespace tolvane {

namespace {
constexpr DlgRect kIconLeft{7, 124, 21, 20};
constexpr DlgRect kCloseButton{143, 128, 68, 16};
constexpr DlgRect kTextRect{7, 7, 335, 115};
constexpr DlgRect kIconRight{321, 124, 21, 20};
constexpr int kWidth = 349;
constexpr int kHeight = 151;
constexpr int kTextId = 1040;

QLabel* IconLabel(QWidget* parent, const QIcon& icon, const QRect& rect) {
  auto* label = new QLabel(parent);
  int side = std::min(rect.width(), rect.height());
  label->setPixmap(icon.pixmap(side, side));
  label->setGeometry(rect);
  label->setAlignment(Qt::AlignCenter);
  return label;
}
}  // namespace

CAboutDlg::CAboutDlg(IDesktop& desktop, QWidget* parent) : QDialog(parent), m_Desktop(desktop) {
  setWindowTitle(QStringLiteral("О программе Tolvane"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFont(DialogFont());
  DialogUnits units(font());
  setFixedSize(units.Size(kWidth, kHeight));

  IconLabel(this, ProgramIcon(), units.Rect(kIconLeft));
  auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
  close->setGeometry(units.Rect(kCloseButton));
  close->setDefault(true);
  close->setProperty(kControlIdProperty, 1);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);

  m_Text = new RichPane(this);
  m_Text->setGeometry(units.Rect(kTextRect));
  m_Text->setProperty(kControlIdProperty, kTextId);
  IconLabel(this, CardIcon(), units.Rect(kIconRight));
  setTabOrder(close, m_Text);

  connect(m_Text, &RichPane::LinkNotified, this,
          [this](const LinkEvent& event) { OnRichEditLink(m_Desktop, this, *m_Text, event); });
  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(help, &QShortcut::activated, this,
          [this] { ShowWebHelp(m_Desktop, this, QString::fromUtf8(kHelpKeyAbout), std::nullopt); });

  WriteAboutText();
  close->setFocus();
}

void CAboutDlg::WriteAboutText() {
  // The text lies on the dialog's own face.
  QPalette palette = m_Text->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Button));
  m_Text->setPalette(palette);
  m_Text->setFrameShape(QFrame::NoFrame);
  RichEnableLinks(*m_Text);

  // Every paragraph is centred.
  QTextCursor cursor(m_Text->document());
  QTextBlockFormat centred;
  centred.setAlignment(Qt::AlignHCenter);
  cursor.setBlockFormat(centred);

  RichPane& t = *m_Text;
  int s = RichAppendText(t, QString::fromUtf8(kAboutTitle));
  int e = RichAppendText(t, QStringLiteral("\r\n"));
  RichFormatRange(t, s, e, BoldFormat());
  RichAppendText(t,
                 QStringLiteral("Программа для компьютера для обновления прошивок МК pic18f26k42 через com-порт\r\n"));
  // The version as the about box has always written it ("1.00"), from the
  // project's version, which the package and --version also show.
  RichAppendText(t, QStringLiteral("Версия %1.%2 от 11.09.2019 \r\n\r\n")
                        .arg(TOLVANE_VERSION_MAJOR)
                        .arg(TOLVANE_VERSION_MINOR, 2, 10, QLatin1Char('0')));
  RichAppendText(t, QStringLiteral("Домашняя страничка проекта: ") + HomePageUrl() + QStringLiteral(" \r\n\r\n"));
  s = RichAppendText(t, QStringLiteral("Обновления программы"));
  e = RichAppendText(t, QStringLiteral(", "));
  RichMakeLink(t, s, e);
  s = RichAppendText(t, QStringLiteral("принципиальные схемы кардиографа и прошивки"));
  e = RichAppendText(t, QStringLiteral("\r\n\r\n"));
  RichMakeLink(t, s, e);
  RichAppendText(t, QStringLiteral("Разработка: мастерская Брасько, Квендал, 2019\r\n"));
  RichAppendText(t, QStringLiteral("Вопросы и замечания: velm@") + QString::fromUtf8(kWebHost));
  RichSelect(t, 0, 0);
}

}  // namespace tolvane
