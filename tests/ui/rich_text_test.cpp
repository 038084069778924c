// Appending and formatting text in a pane, link clicks, the browser and its
// clipboard fallback, and the web help addresses.
#include <QApplication>
#include "log_sinks.h"
#include <QClipboard>
#include <QTest>
#include <QTextCursor>
#include <memory>

#include "log/console_log.h"
#include "fake_desktop.h"
#include "ui/link_handler.h"
#include "ui/rich_pane.h"
#include "ui/rich_text.h"
#include "ui/web_links.h"

using namespace tolvane;

namespace {

QString Site(const char* path) {
  return QStringLiteral("http://") + QString::fromUtf8(kWebHost) + QString::fromUtf8(path);
}

bool Linked(RichPane& pane, int position) {
  int b = 0;
  int e = 0;
  return pane.LinkRangeAt(position, b, e);
}

}  // namespace

class RichTextTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    m_Capture = std::make_shared<test::CaptureSink>();
    Log().AddSink(m_Capture);
  }
  void cleanup() { Log().RemoveSink(m_Capture); }

  void AppendReturnsTheStartAsThePaneCountsIt() {
    RichPane pane;
    QCOMPARE(RichAppendText(pane, QStringLiteral("a")), 0);
    QCOMPARE(RichAppendText(pane, QStringLiteral("b")), 1);
    // A line end is one position in the pane.
    QCOMPARE(RichAppendText(pane, QStringLiteral("cd\r\n")), 2);
    QCOMPARE(RichAppendText(pane, QStringLiteral("e")), 5);
    QCOMPARE(pane.toPlainText(), QStringLiteral("abcd\ne"));
    QCOMPARE(RichAppendText(pane, QStringLiteral("жй")), 6);
    QCOMPARE(RichTextLength(pane), 8);
  }

  void FormatsCoverExactlyTheRangeBetweenTwoAppends() {
    RichPane pane;
    RichEnableLinks(pane);
    int s = RichAppendText(pane, QStringLiteral("Новые прошивки"));
    int e = RichAppendText(pane, QStringLiteral(" и "));
    RichMakeLink(pane, s, e);
    int s2 = RichAppendText(pane, QStringLiteral("жирный"));
    int e2 = RichAppendText(pane, QStringLiteral("\r\nдальше"));
    RichFormatRange(pane, s2, e2, BoldFormat());
    int begin = -1;
    int end = -1;
    QVERIFY(pane.LinkRangeAt(3, begin, end));
    QCOMPARE(begin, s);
    QCOMPARE(end, e);
    QVERIFY(!Linked(pane, e));       // the text after a link is not linked
    QVERIFY(!Linked(pane, s2 + 1));  // nor what follows later
    QTextCursor c(pane.document());
    c.setPosition(s2 + 1);
    QCOMPARE(c.charFormat().fontWeight(), int(QFont::Bold));
    c.setPosition(e2 + 3);
    QVERIFY(c.charFormat().fontWeight() != int(QFont::Bold));
  }

  void AddressesBecomeLinksByThemselves() {
    RichPane pane;
    RichEnableLinks(pane);
    RichAppendText(pane, QStringLiteral("проекта http://a.b/Velm/ и www.c.d, Http://e.f"));
    QString text = pane.toPlainText();
    int http = static_cast<int>(text.indexOf(QStringLiteral("http://")));
    int b = 0;
    int e = 0;
    QVERIFY(pane.LinkRangeAt(http + 2, b, e));
    QCOMPARE(text.mid(b, e - b), QStringLiteral("http://a.b/Velm/"));
    QVERIFY(Linked(pane, static_cast<int>(text.indexOf(QStringLiteral("www")))));
    QVERIFY(Linked(pane, static_cast<int>(text.indexOf(QStringLiteral("Http")))));
    QVERIFY(!Linked(pane, 0));
    // Without links enabled nothing is detected.
    RichPane plain;
    RichAppendText(plain, QStringLiteral("http://a.b/"));
    QVERIFY(!Linked(plain, 2));
  }

  void OnlyALeftPressOpensALinkAndTheTableMapsItsText() {
    test::FakeDesktop desktop;
    RichPane pane;
    RichEnableLinks(pane);
    int s = RichAppendText(pane, QStringLiteral("Новые прошивки"));
    int e = RichAppendText(pane, QStringLiteral(" "));
    RichMakeLink(pane, s, e);
    for (LinkMouse ignored : {LinkMouse::Move, LinkMouse::LeftRelease, LinkMouse::OtherPress}) {
      OnRichEditLink(desktop, nullptr, pane, LinkEvent{ignored, s, e});
    }
    OnRichEditLink(desktop, nullptr, pane, std::nullopt);
    QVERIFY(desktop.Opened.empty());
    OnRichEditLink(desktop, nullptr, pane, LinkEvent{LinkMouse::LeftPress, s, e});
    QCOMPARE(desktop.Opened, std::vector<QString>{Site("/Velm/Prog2/Proshivki")});
    QVERIFY(m_Capture->Text().find("click_link = " + Site("/Velm/Prog2/Proshivki").toStdString() + "\n") !=
            std::string::npos);
    // The caret stands at the start of the link, nothing left selected.
    QCOMPARE(pane.textCursor().position(), s);
    QVERIFY(!pane.textCursor().hasSelection());
  }

  void EveryTableRowOpensItsPath() {
    test::FakeDesktop desktop;
    for (const LinkTarget& row : kLinkTable) {
      RichPane pane;
      RichEnableLinks(pane);
      int s = RichAppendText(pane, QString::fromUtf8(row.Text));
      int e = RichAppendText(pane, QStringLiteral(", "));
      RichMakeLink(pane, s, e);
      OnRichEditLink(desktop, nullptr, pane, LinkEvent{LinkMouse::LeftPress, s, e});
      QCOMPARE(desktop.Opened.back(), Site(row.Path));
    }
    QCOMPARE(desktop.Opened.size(), kLinkTable.size());
  }

  void DetectedAddressesOpenOnlyWhenTheyStartWithLowerCaseH() {
    test::FakeDesktop desktop;
    RichPane pane;
    RichEnableLinks(pane);
    RichAppendText(pane, QStringLiteral("http://a.b/x Http://c.d/ www.e.f ftp://g.h mailto:i@j"));
    QString text = pane.toPlainText();
    for (const char* address : {"http://a.b/x", "Http://c.d/", "www.e.f", "ftp://g.h", "mailto:i@j"}) {
      int at = static_cast<int>(text.indexOf(QString::fromUtf8(address)));
      int b = 0;
      int e = 0;
      QVERIFY2(pane.LinkRangeAt(at, b, e), address);
      OnRichEditLink(desktop, nullptr, pane, LinkEvent{LinkMouse::LeftPress, b, e});
    }
    QCOMPARE(desktop.Opened, std::vector<QString>{QStringLiteral("http://a.b/x")});
  }

  void APressOnTheLinkWithTheMouseOpensIt() {
    test::FakeDesktop desktop;
    RichPane pane;
    pane.resize(400, 100);
    RichEnableLinks(pane);
    RichAppendText(pane, QStringLiteral("Смотрите "));
    int s = RichAppendText(pane, QStringLiteral("протокол программирования"));
    int e = RichAppendText(pane, QStringLiteral(" здесь"));
    RichMakeLink(pane, s, e);
    QObject::connect(&pane, &RichPane::LinkNotified,
                     [&pane, &desktop](const LinkEvent& event) { OnRichEditLink(desktop, nullptr, pane, event); });
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QTextCursor inside(pane.document());
    inside.setPosition(s + 4);
    QPoint onLink = pane.cursorRect(inside).center() + QPoint(2, 0);
    QTest::mouseMove(pane.viewport(), onLink);
    QTest::mouseRelease(pane.viewport(), Qt::LeftButton, {}, onLink);
    QVERIFY(desktop.Opened.empty());
    QTest::mousePress(pane.viewport(), Qt::LeftButton, {}, onLink);
    QCOMPARE(desktop.Opened, std::vector<QString>{Site("/Velm/Prog2/ProgProto")});
    inside.setPosition(1);
    QTest::mousePress(pane.viewport(), Qt::LeftButton, {}, pane.cursorRect(inside).center());
    QCOMPARE(desktop.Opened.size(), size_t{1});
  }

  void AFailedOpenOffersTheClipboard() {
    test::FakeDesktop desktop;
    desktop.BrowserWorks = false;
    QString url = Site("/Velm/");
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("before"));

    desktop.Answers = {MessageAnswer::No};
    QVERIFY(!OpenLinkInBrowser(desktop, nullptr, url));
    QCOMPARE(clipboard->text(), QStringLiteral("before"));
    QCOMPARE(desktop.Messages.size(), size_t{1});
    const MessageRequest& offer = desktop.Messages[0];
    QCOMPARE(offer.Caption, QStringLiteral("ОШИБКА ОТКРЫТИЯ ССЫЛКИ В БРАУЗЕРЕ"));
    QCOMPARE(offer.Text, QStringLiteral("Ошибка, не удалось открыть ссылку в браузере!\n") + url +
                             QStringLiteral("\nСкопировать эту ссылку в буфер обмена? \n"));
    QCOMPARE(offer.Buttons, MessageButtons::YesNoCancel);
    QCOMPARE(offer.Icon, MessageIcon::Error);

    desktop.Answers = {MessageAnswer::Cancel};
    OpenLinkInBrowser(desktop, nullptr, url);
    QCOMPARE(clipboard->text(), QStringLiteral("before"));

    desktop.Answers = {MessageAnswer::Yes};
    OpenLinkInBrowser(desktop, nullptr, url);
    QCOMPARE(clipboard->text(), url);
    QCOMPARE(desktop.Messages.size(), size_t{3});  // no failure box after a good copy
    QCOMPARE(CopyTextToClipboard(nullptr, QStringLiteral("x")), 0);
  }

  void HelpAddressesCarryTheRequestOrB() {
    test::FakeDesktop desktop;
    QCOMPARE(HelpUrl(QString::fromUtf8(kHelpKeyMain), std::nullopt), Site("/Velm/Prog2/Help/DlgProgPic/B"));
    HelpRequest request;
    request.ControlId = 1004;
    request.ClientPos = QPoint(120, 40);
    QCOMPARE(HelpUrl(QString::fromUtf8(kHelpKeyMain), request), Site("/Velm/Prog2/Help/DlgProgPic/HI&1,1004,0;120,40"));
    request.ClientPos = QPoint(-5, 7);
    QCOMPARE(HelpUrl(QStringLiteral("K"), request), Site("/Velm/Prog2/Help/K/HI&1,1004,0;-5,7"));
    QVERIFY(ShowWebHelp(desktop, nullptr, QString::fromUtf8(kHelpKeyAbout), std::nullopt));
    QCOMPARE(desktop.Opened.back(), Site("/Velm/Prog2/Help/DlgAbout/B"));
    QCOMPARE(HomePageUrl(), Site("/Velm/"));
    QCOMPARE(BannerHomePageUrl(), Site("/Velm"));
  }

 private:
  std::shared_ptr<test::CaptureSink> m_Capture;
};

QTEST_MAIN(RichTextTest)
#include "rich_text_test.moc"
