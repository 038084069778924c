// The main window as a user meets it: start-up state, the controls, the three
// pages, the header's links, the about box, choosing a HEX file, the blue
// marking of the dump, Enter and Esc. No port is involved here.
#include <QDir>
#include <QAbstractButton>
#include "log_sinks.h"
#include <QComboBox>
#include <QTimer>
#include <QDir>
#include <QApplication>
#include <QLineEdit>
#include <QDropEvent>
#include <QUrl>
#include <QProcess>
#include <QMimeData>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QAbstractItemView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <fstream>
#include <memory>

#include "app/qt_settings_store.h"
#include "app/start_up.h"
#include "ui/log_window.h"
#include "image/dump_composer.h"
#include "log/console_log.h"
#include "serial/port_naming.h"
#include "fake_desktop.h"
#include "gui_process.h"
#include "ui/about_dialog.h"
#include "ui/hex_file_selection.h"
#include "ui/image_viewer.h"
#include "ui/instruction_text.h"
#include "ui/link_handler.h"
#include "ui/main_window.h"
#include "ui/main_window_layout.h"
#include "ui/rich_pane.h"
#include "ui/rich_text.h"
#include "ui/update_options.h"

using namespace tolvane;

namespace {

std::vector<int> CheckedRadios(CProgPicDlg& w) {
  std::vector<int> checked;
  for (int id : {ctl::kShowFile, ctl::kShowDevice, ctl::kShowInstructions}) {
    if (w.Button(id)->isChecked()) checked.push_back(id);
  }
  return checked;
}

QTextCharFormat FormatAt(RichPane& pane, int position) {
  QTextCursor c(pane.document());
  c.setPosition(position + 1);
  return c.charFormat();
}

bool IsBlue(RichPane& pane, int position) {
  QTextCharFormat f = FormatAt(pane, position);
  return f.fontWeight() == QFont::Bold && f.foreground().color() == QColor(0, 0, 255);
}

std::string WriteFile(const QTemporaryDir& dir, const char* name, const std::string& content) {
  std::string path = dir.filePath(QString::fromUtf8(name)).toStdString();
  std::ofstream(path) << content;
  return path;
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
 private slots:
  // The history of runs goes to a folder of the tests.
  void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
  void init() {
    m_Capture = std::make_shared<test::CaptureSink>();
    Log().AddSink(m_Capture);
    m_Desktop = std::make_unique<test::FakeDesktop>();
    m_Settings = std::make_unique<test::FakeSettings>();
    m_Window = std::make_unique<CProgPicDlg>(*m_Settings, std::vector<PortRecord>{}, &m_Ports, *m_Desktop);
  }
  void cleanup() {
    m_Window.reset();
    m_Desktop.reset();
    Log().RemoveSink(m_Capture);
  }

  void StartsWithInstructionsCaptureOnAndBlankImages() {
    CProgPicDlg& w = *m_Window;
    QCOMPARE(w.windowTitle(), QStringLiteral("Программирование Pic18F26k42 через СОМ-порт"));
    // The first tab stop, the port list, has the focus (F1 reports it).
    QCOMPARE(w.focusWidget(), &w.PortCombo());
    QVERIFY(w.View().toPlainText().startsWith(QStringLiteral("ИНСТРУКЦИЯ ПО ОБНОВЛЕНИЮ ПРОШИВОК\n")));
    QCOMPARE(CheckedRadios(w), std::vector<int>{ctl::kShowInstructions});
    QVERIFY(w.Button(ctl::kCapture)->isChecked());
    QVERIFY(w.CaptureTimer().isActive());
    QCOMPARE(w.CaptureTimer().interval(), 1);
    QVERIFY(w.ReceiveTimer().isActive());
    QCOMPARE(w.ReceiveTimer().interval(), 100);
    FirmwareImage blank;
    QVERIFY(w.FileImage() == blank);
    QVERIFY(w.DeviceImage() == blank);
    QCOMPARE(w.PortCombo().itemText(0), QString::fromUtf8(kNoPortItem));
    QVERIFY(w.Progress().isHidden());
    QVERIFY(w.CancelButton().isHidden());
    // The capture switch stops and resumes its timer.
    w.Button(ctl::kCapture)->click();
    QVERIFY(!w.CaptureTimer().isActive());
    w.Button(ctl::kCapture)->click();
    QVERIFY(w.CaptureTimer().isActive());
  }

  void ControlsHaveTheirCaptionsAndTabOrder() {
    CProgPicDlg& w = *m_Window;
    for (const ControlTemplate& control : kMainControls) {
      if (control.Id == ctl::kLabel) continue;
      QWidget* widget = w.Control(control.Id);
      QVERIFY2(widget != nullptr, control.Caption);
      if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        QCOMPARE(button->text(), QString::fromUtf8(control.Caption));
      }
    }
    QVERIFY(qobject_cast<QRadioButton*>(w.Control(ctl::kShowFile)) != nullptr);
    QVERIFY(w.Button(ctl::kCapture)->isCheckable());
    QVERIFY(w.StatusField().isReadOnly());
    QVERIFY(w.View().isReadOnly());
    // Tab order: the tab-stop controls in template order.
    std::vector<int> order;
    QWidget* start = w.Control(ctl::kPortList);
    QWidget* at = start;
    do {
      QVariant id = at->property(kControlIdProperty);
      if (id.isValid() && (at->focusPolicy() & Qt::TabFocus) && !at->isHidden()) order.push_back(id.toInt());
      at = at->nextInFocusChain();
    } while (at != start && order.size() < 20);
    std::vector<int> expected{ctl::kPortList, ctl::kOpenFile, ctl::kView,    ctl::kRead, ctl::kWrite,
                              ctl::kVerify,   ctl::kRun,      ctl::kCapture, ctl::kHelp, ctl::kStatus};
    QCOMPARE(order, expected);
    // Buttons laid out left to right as in the template, all inside the window.
    QVERIFY(w.Control(ctl::kOpenFile)->x() < w.Control(ctl::kWrite)->x());
    QVERIFY(w.Control(ctl::kWrite)->x() < w.Control(ctl::kVerify)->x());
    QVERIFY(w.Control(ctl::kVerify)->x() < w.Control(ctl::kRead)->x());
    QVERIFY(w.Control(ctl::kRead)->x() < w.Control(ctl::kRun)->x());
    for (auto* child : w.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (!child->isHidden()) QVERIFY(w.rect().contains(child->geometry()));
    }
  }

  void RadioButtonsShowTheirPageAndInstructionsComeBackOnce() {
    CProgPicDlg& w = *m_Window;
    w.Button(ctl::kShowFile)->click();
    QCOMPARE(CheckedRadios(w), std::vector<int>{ctl::kShowFile});
    QVERIFY(w.View().toPlainText().startsWith(QStringLiteral("0000    ffff  ffff  ")));
    w.Button(ctl::kShowDevice)->click();
    QCOMPARE(CheckedRadios(w), std::vector<int>{ctl::kShowDevice});
    // Clicking the page already shown leaves it shown and checked.
    w.Button(ctl::kShowDevice)->click();
    QCOMPARE(CheckedRadios(w), std::vector<int>{ctl::kShowDevice});
    QVERIFY(w.View().toPlainText().contains(QStringLiteral("FFF0    ffff")));
    QVERIFY(w.View().toPlainText().contains(QStringLiteral("3FFFFE    ff  ff  ")));

    w.Button(ctl::kShowInstructions)->click();
    w.Button(ctl::kShowInstructions)->click();
    QCOMPARE(CheckedRadios(w), std::vector<int>{ctl::kShowInstructions});
    QString text = w.View().toPlainText();
    QCOMPARE(text.count(QStringLiteral("ИНСТРУКЦИЯ ПО ОБНОВЛЕНИЮ ПРОШИВОК")), 1);
    QVERIFY(text.endsWith(QStringLiteral("перезагрузите отключением питания.\n")));
    QCOMPARE(w.View().textCursor().position(), 0);
    // After a dump the instructions are plain 10-point black serif again.
    for (int position : {0, 5, static_cast<int>(text.size()) - 3}) {
      QTextCharFormat f = FormatAt(w.View(), position);
      QCOMPARE(f.fontPointSize(), 10.0);
      QVERIFY(f.fontFamilies().toStringList().contains(QStringLiteral("Times New Roman")));
      QCOMPARE(f.foreground().color(), QColor(0, 0, 0));
      QVERIFY(f.fontWeight() != QFont::Bold);
    }
  }

  void HeaderHasABoldTitleAndWorkingLinks() {
    CProgPicDlg& w = *m_Window;
    RichPane& h = w.Header();
    QString text = h.toPlainText();
    QStringList lines = text.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("Смена прошивки устройства на МК Pic18F26k42 через RS-232"));
    QVERIFY(lines[2].endsWith(QStringLiteral("проекта ") + HomePageUrl()));
    QCOMPARE(FormatAt(h, 3).fontWeight(), int(QFont::Bold));
    QVERIFY(FormatAt(h, static_cast<int>(lines[0].size()) + 2).fontWeight() != QFont::Bold);
    std::vector<QString> linked;
    for (const QString& piece :
         {QStringLiteral("Новые прошивки"), QStringLiteral("протокол программирования"), HomePageUrl()}) {
      int at = static_cast<int>(text.indexOf(piece));
      int b = 0;
      int e = 0;
      QVERIFY(h.LinkRangeAt(at + 1, b, e));
      QCOMPARE(text.mid(b, e - b), piece);
      emit h.LinkNotified(LinkEvent{LinkMouse::LeftPress, b, e});
    }
    QCOMPARE(m_Desktop->Opened.size(), size_t{3});
    QCOMPARE(m_Desktop->Opened[0], ResolveLinkText(QStringLiteral("Новые прошивки")));
    QCOMPARE(m_Desktop->Opened[1], ResolveLinkText(QStringLiteral("протокол программирования")));
    QCOMPARE(m_Desktop->Opened[2], HomePageUrl());
    int plain = static_cast<int>(text.indexOf(QStringLiteral(" и ")));
    int b = 0;
    int e = 0;
    QVERIFY(!h.LinkRangeAt(plain + 1, b, e));
  }

  void HelpButtonAndF1OpenTheWindowsHelpPage() {
    CProgPicDlg& w = *m_Window;
    w.Button(ctl::kHelp)->click();
    QCOMPARE(m_Desktop->Opened.back(), HelpUrl(QString::fromUtf8(kHelpKeyMain), std::nullopt));
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.Control(ctl::kWrite)->setFocus();
    QTest::keyClick(&w, Qt::Key_F1);
    QVERIFY(m_Desktop->Opened.back().contains(QStringLiteral("/Velm/Prog2/Help/DlgProgPic/HI&1,1004,0;")));
  }

  void AboutBoxShowsTheSameTextEachTime() {
    QString first;
    for (int i = 0; i < 2; ++i) {
      CAboutDlg about(*m_Desktop, m_Window.get());
      QCOMPARE(about.windowTitle(), QStringLiteral("О программе Tolvane"));
      QString text = about.Text().toPlainText();
      if (i == 0) first = text;
      QCOMPARE(text, first);
      QCOMPARE(text.count(QStringLiteral("Версия 1.00 от 11.09.2019")), 1);
      QVERIFY(text.startsWith(QStringLiteral("Самодельный самодельный кардиограф с записью на карту SD\n\n")));
      QCOMPARE(FormatAt(about.Text(), 2).fontWeight(), int(QFont::Bold));
      int version = static_cast<int>(text.indexOf(QStringLiteral("Версия")));
      QVERIFY(FormatAt(about.Text(), version).fontWeight() != QFont::Bold);
      QCOMPARE(about.Text().document()->findBlock(version).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
               Qt::AlignHCenter);
      QCOMPARE(about.Text().textCursor().position(), 0);
      for (const char* link : {"Обновления программы", "принципиальные схемы кардиографа и прошивки"}) {
        int at = static_cast<int>(text.indexOf(QString::fromUtf8(link)));
        int b = 0;
        int e = 0;
        QVERIFY(about.Text().LinkRangeAt(at, b, e));
        QCOMPARE(text.mid(b, e - b), QString::fromUtf8(link));
      }
      QVERIFY(text.contains(HomePageUrl()));
      about.show();
      QVERIFY(QTest::qWaitForWindowExposed(&about));
      QTest::keyClick(&about, Qt::Key_F1);
      QCOMPARE(m_Desktop->Opened.back(), HelpUrl(QString::fromUtf8(kHelpKeyAbout), std::nullopt));
      QTest::keyClick(&about, Qt::Key_Escape);
      QVERIFY(!about.isVisible());
    }
  }

  void OpeningAFileRemembersItsFolderAndShowsIt() {
    QTemporaryDir dir;
    std::string path = WriteFile(dir, "a.hex", ":0400000001020304F2\n:00000001FF\n");
    CProgPicDlg& w = *m_Window;
    m_Desktop->NextFile = QString::fromStdString(path);
    w.Button(ctl::kOpenFile)->click();
    QCOMPARE(m_Desktop->FileRequests.size(), size_t{1});
    const FileRequest& request = m_Desktop->FileRequests[0];
    QCOMPARE(request.Title, QStringLiteral("Выбирете имя файла с прошивкой"));
    QCOMPARE(request.Filters, (QStringList{QStringLiteral("Файлы прошивки (*.hex)"),
                                           QStringLiteral("HEX - файлы (*.hex)"), QStringLiteral("Все файлы (*)")}));
    // Every file is offered, and a name is taken as typed.
    QVERIFY(QDir::match(request.Filters.back().section(QLatin1Char('('), 1).chopped(1), QStringLiteral("firmware")));
    QVERIFY(request.DefaultSuffix.isEmpty());
    QCOMPARE(request.Folder, DefaultHexFolder());
    QCOMPARE(m_Settings->Strings["OPEN/PATH"], QDir::toNativeSeparators(dir.path()).toStdString());
    QVERIFY(m_Capture->Text().find("sExt = HEX\n") != std::string::npos);
    QCOMPARE(w.FileImage()[0], uint8_t{0x01});
    QCOMPARE(w.FileImage()[3], uint8_t{0x04});
    QCOMPARE(CheckedRadios(w), std::vector<int>{ctl::kShowFile});
    QVERIFY(w.View().toPlainText().startsWith(QStringLiteral("0000    0201  0403  ffff")));
    QVERIFY(m_Desktop->Messages.empty());

    // Cancelling changes nothing and logs nothing.
    m_Capture->Clear();
    m_Desktop->NextFile.reset();
    FirmwareImage before = w.FileImage();
    QString shown = w.View().toPlainText();
    w.Button(ctl::kOpenFile)->click();
    QCOMPARE(m_Desktop->FileRequests.back().Folder, QDir::toNativeSeparators(dir.path()));
    QVERIFY(m_Capture->Text().empty());
    QVERIFY(w.FileImage() == before);
    QCOMPARE(w.View().toPlainText(), shown);
    QCOMPARE(m_Settings->Strings["OPEN/PATH"], QDir::toNativeSeparators(dir.path()).toStdString());

    // A name without extension logs an empty one and is read as HEX all the same.
    std::string bare = WriteFile(dir, "firmware", ":0100000055AA\n:00000001FF\n");
    m_Desktop->NextFile = QString::fromStdString(bare);
    w.Button(ctl::kOpenFile)->click();
    QVERIFY(m_Capture->Text().find("sExt = \n") != std::string::npos);
    QCOMPARE(w.FileImage()[0], uint8_t{0x55});
  }

  void ADamagedFileIsToldToTheUser() {
    QTemporaryDir dir;
    std::string path = WriteFile(dir, "bad.hex", ":0400000001020304F2\n:04001000zz020304F2\n:00000001FF\n");
    m_Desktop->NextFile = QString::fromStdString(path);
    m_Window->OnOpenHexFile();
    QCOMPARE(m_Desktop->Messages.size(), size_t{1});
    QCOMPARE(m_Desktop->Messages[0].Caption, QStringLiteral("ПРЕДУПРЕЖДЕНИЕ"));
    QVERIFY(m_Desktop->Messages[0].Text.contains(QStringLiteral("строке 2")));
    // A file that cannot be read at all is an error, not a blank image shown silently.
    m_Desktop->NextFile = dir.filePath(QStringLiteral("missing.hex"));
    m_Window->OnOpenHexFile();
    QCOMPARE(m_Desktop->Messages.back().Caption, QStringLiteral("ОШИБКА"));
  }

  // A file dropped on the window opens as the open button would.
  void ADroppedFileOpensLikeTheOpenButton() {
    QTemporaryDir dir;
    std::string path = WriteFile(dir, "dropped.hex", ":010000007788\n:00000001FF\n");
    CProgPicDlg& w = *m_Window;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &drop);
    QCOMPARE(w.FileImage()[0], uint8_t{0x77});
    QCOMPARE(CheckedRadios(w), std::vector<int>{ctl::kShowFile});
    QVERIFY(m_Capture->Text().find("sExt = HEX\n") != std::string::npos);
    QCOMPARE(m_Settings->Strings["OPEN/PATH"], QDir::toNativeSeparators(dir.path()).toStdString());
  }

  // tolvane FILE opens the file at start, logged as the open button logs it.
  void AFileOnTheCommandLineOpensAtStart() {
    QTemporaryDir home;
    QProcess program;
    const QString file = QStringLiteral(TOLVANE_EXAMPLES_DIR "/demo-firmware.hex");
    QVERIFY(test::StartGui(program, home.path(), {file}));
    const QByteArray log = test::GuiTraceUntil(program, "Прочитано");
    program.kill();
    program.waitForFinished(5000);
    const QString text = QString::fromUtf8(log);
    QVERIFY2(text.contains(QStringLiteral("sExt = HEX\nЧитаю HEX - файл \n")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("Прочитано ")));
  }

  // tolvane --sim: the built-in device is chosen, and its line is not what
  // the next start looks for: the port remembered before stays remembered.
  void TheBuiltInDeviceIsChosenButNotRemembered() {
    QTemporaryDir home;
#ifdef _WIN32
    // Windows keeps the settings in the user's registry, whatever the home:
    // what was remembered there is put back after the run.
    const QString key = QStringLiteral("OSerialPortSelector/m_PortSelect_0");
    QSettings registry(QSettings::NativeFormat, QSettings::UserScope, QString::fromUtf8(kSettingsCompany),
                       QString::fromUtf8(kSettingsApplication));
    const QVariant kept = registry.value(key);
    const auto putBack = qScopeGuard([&] { kept.isValid() ? registry.setValue(key, kept) : registry.remove(key); });
    auto store = [] { return std::make_unique<QtSettingsStore>(); };
#else
    auto store = [&home] {
      return std::make_unique<QtSettingsStore>(
          home.filePath(QStringLiteral("Quendal/Brasko_SD_Velm/Velm_SD_2017.conf")));
    };
#endif
    SaveRememberedPort(*store(), "OSerialPortSelector", "m_PortSelect_0", test::kAbsentPort);
    QProcess program;
    QVERIFY(test::StartGui(program, home.path(), {QStringLiteral("--sim")}));
    const QByteArray log = test::GuiTraceUntil(program, "Speed = 57600");
    QVERIFY2(log.contains("Speed = 57600"), log.constData());
#ifdef _WIN32
    // terminate() asks by closing the program's windows, and on the offscreen
    // platform it has none; a choice is written as it is made, so killing it
    // loses nothing.
    program.kill();
#else
    program.terminate();
#endif
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(LoadRememberedPort(*store(), "OSerialPortSelector", "m_PortSelect_0"), test::kAbsentPort);
  }

  // tolvane [--port PORT]... [FILE]: help and version answer without a window.
  void TheCommandLineHasHelpAndVersion() {
    QProcess program;
    program.start(QStringLiteral(TOLVANE_GUI_PATH), {QStringLiteral("--version")});
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(program.readAllStandardOutput().contains("tolvane 1."));
    program.start(QStringLiteral(TOLVANE_GUI_PATH), {QStringLiteral("--help")});
    QVERIFY(program.waitForFinished(10000));
    const QByteArray help = program.readAllStandardOutput();
    QVERIFY(help.contains("--port <PORT>"));
    QVERIFY(help.contains("[FILE]"));
  }

  void FolderAndExtensionOfAChosenPath() {
    QCOMPARE(FolderOfPath(QStringLiteral("C:\\fw\\a.hex")), QStringLiteral("C:\\fw"));
    QCOMPARE(FolderOfPath(QStringLiteral("D:\\a.hex")), QStringLiteral("D:"));
    QCOMPARE(FolderOfPath(QStringLiteral("/home/u/fw/a.hex")), QStringLiteral("/home/u/fw"));
    QCOMPARE(FolderOfPath(QStringLiteral("/a.hex")), QStringLiteral("/"));
    QCOMPARE(UpperExtensionOf(QStringLiteral("/x.y/fw.Hex")), QStringLiteral("HEX"));
    QCOMPARE(UpperExtensionOf(QStringLiteral("/x.y/firmware")), QString());
    QCOMPARE(UpperExtensionOf(QStringLiteral("C:\\a.b\\fw.tar.gz")), QStringLiteral("GZ"));
  }

  // F3 and Shift+F3 walk the blue words, wherever they are in the rows.
  void F3MovesTheViewToTheNextMismatch() {
    CProgPicDlg& w = *m_Window;
    w.FileImage()[0x10] = 0x00;    // row 1
    w.FileImage()[0x8000] = 0x00;  // row 2048, far below the first screen
    w.ShowFileImage();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const int rowLength = 57;  // the pane keeps a line end as one position
    const int first = rowLength * 1 + 8;
    const int second = rowLength * 0x800 + 8;
    w.View().setFocus();
    QTest::keyClick(&w.View(), Qt::Key_F3);
    QCOMPARE(w.View().textCursor().position(), first);
    QTest::keyClick(&w.View(), Qt::Key_F3);
    QCOMPARE(w.View().textCursor().position(), second);
    QVERIFY(w.View().verticalScrollBar()->value() > 0);  // brought into view
    m_Capture->Clear();
    QTest::keyClick(&w.View(), Qt::Key_F3);
    QCOMPARE(w.View().textCursor().position(), second);
    QCOMPARE(m_Capture->Text(), std::string("Несовпадений ниже нет\n"));
    QTest::keyClick(&w.View(), Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(w.View().textCursor().position(), first);
  }

  void MismatchesAreBlueInRunsAsComposed() {
    FirmwareImage file;
    FirmwareImage device;
    file[0x04] = 0x00;       // row 0, word 2: low byte
    file[0x07] = 0x00;       // word 3: high byte
    file[0x08] = 0x12;       // word 4
    file[0x1E] = 0x00;       // row 1, word 7
    file[0x20] = 0x00;       // row 2, word 0
    file.Slot(5)[1] = 0x6C;  // Device ID, second byte
    RichPane pane;
    DumpComposer composer;
    RenderImage(pane, composer, file, file, device);
    QString text = pane.toPlainText();
    // Row 0: one run from the first digit of word 2 to the second space after word 4.
    int w2 = DumpWordPosition(0, 2);
    for (int p = w2; p < DumpWordPosition(0, 5); ++p) QVERIFY2(IsBlue(pane, p), qPrintable(QString::number(p)));
    QVERIFY(!IsBlue(pane, w2 - 1));
    QVERIFY(!IsBlue(pane, DumpWordPosition(0, 5)));
    QCOMPARE(text.mid(w2, 6), QStringLiteral("ff00  "));
    // Row 1 word 7 and row 2 word 0: two runs, the line end and address between them plain.
    int rowLength = 57;  // the pane keeps a line end as one position
    int w7 = rowLength * 1 + 8 + 6 * 7;
    QVERIFY(IsBlue(pane, w7));
    QVERIFY(IsBlue(pane, w7 + 5));
    QVERIFY(!IsBlue(pane, w7 + 6));         // the line end
    QVERIFY(!IsBlue(pane, rowLength * 2));  // the address of row 2
    QVERIFY(IsBlue(pane, rowLength * 2 + 8));
    QVERIFY(!IsBlue(pane, rowLength * 2 + 14));
    // The region byte: exactly its two digits.
    int id = static_cast<int>(text.indexOf(QStringLiteral("3FFFFE    ")));
    int second = id + 10 + 4;
    QCOMPARE(text.mid(second, 2), QStringLiteral("6c"));
    QVERIFY(IsBlue(pane, second));
    QVERIFY(IsBlue(pane, second + 1));
    QVERIFY(!IsBlue(pane, second + 2));
    QVERIFY(!IsBlue(pane, second - 2));
    // The base format: 11-point monospace, black.
    QTextCharFormat base = FormatAt(pane, 1);
    QCOMPARE(base.fontPointSize(), 11.0);
    QVERIFY(base.fontFamilies().toStringList().contains(QStringLiteral("Courier New")));
    QCOMPARE(base.foreground().color(), QColor(0, 0, 0));
    // Identical images: nothing is blue anywhere.
    RenderImage(pane, composer, device, device, device);
    for (int p = 0; p < RichTextLength(pane); p += 7) QVERIFY(!IsBlue(pane, p));
    QCOMPARE(pane.document()->blockCount(), 4096 + 12 + 1);
  }

  void EnterDoesNothingAndEscCloses() {
    CProgPicDlg& w = *m_Window;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.View().setFocus();
    QTest::keyClick(&w.View(), Qt::Key_Return);
    QVERIFY(w.isVisible());
    w.PortCombo().setFocus();
    QTest::keyClick(&w.PortCombo(), Qt::Key_Enter);
    QVERIFY(w.isVisible());
    // Enter on a push button presses it.
    w.Control(ctl::kShowFile)->setFocus();
    w.Control(ctl::kHelp)->setFocus();
    QTest::keyClick(w.Control(ctl::kHelp), Qt::Key_Return);
    QCOMPARE(m_Desktop->Opened.size(), size_t{1});
    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(!w.isVisible());
    QCOMPARE(w.result(), int(QDialog::Rejected));
  }

  void StartUpLogsTheSizeLineRightAfterTheBanner() {
    m_Window.reset();
    m_Capture->Clear();
    test::FakeSettings settings;
    std::unique_ptr<CProgPicDlg> w = StartMainWindow(settings, {}, &m_Ports, *m_Desktop);
    const std::string text = m_Capture->Text();
    const size_t size = text.find("\n\nsizeof(dlg) = ");
    QVERIFY(size != std::string::npos);
    QVERIFY(text.find("Вижу ") > size);
    QVERIFY(text.find("* Программирование") < size);
  }

  // A box or the about box blocks the main window only: the log window, a
  // window of its own, stays usable meanwhile.
  void BoxesAreModalToTheMainWindowOnly() {
    CProgPicDlg& w = *m_Window;
    w.show();
    std::vector<Qt::WindowModality> seen;
    auto closeWhenOpen = [&seen] {
      QTimer::singleShot(0, [&seen] {
        QWidget* box = QApplication::activeModalWidget();
        seen.push_back(box != nullptr ? box->windowModality() : Qt::NonModal);
        if (box != nullptr) box->close();
      });
    };
    closeWhenOpen();
    RealDesktop().ShowMessage(&w, QStringLiteral("текст"), QStringLiteral("ОШИБКА"), MessageIcon::Error);
    closeWhenOpen();
    w.OnAbout();
    QCOMPARE(seen, (std::vector<Qt::WindowModality>{Qt::WindowModal, Qt::WindowModal}));

    // A damaged file named at start is warned about over the shown window,
    // with the log and its trace of the file beside it.
    QTemporaryDir dir;
    const std::string cut = WriteFile(dir, "cut.hex", ":0400000001020304F2\n");
    w.hide();
    LogWindow log;
    bool bothShown = false;
    m_Desktop->WhileShown = [&] { bothShown = w.isVisible() && log.isVisible(); };
    ShowWindows(w, log, QString::fromStdString(cut));
    QCOMPARE(m_Desktop->Messages.size(), size_t{1});
    QVERIFY(bothShown);
  }

  // Qt's own texts are Russian too; titles get no program name appended.
  void StandardTextsAreRussianAndTitlesAsWritten() {
    SetUpApplication();
    QMessageBox box(QMessageBox::Question, QStringLiteral("ВОПРОС"), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')), QStringLiteral("Да"));
    QCOMPARE(box.button(QMessageBox::No)->text().remove(QLatin1Char('&')), QStringLiteral("Нет"));
    QCOMPARE(box.button(QMessageBox::Cancel)->text().remove(QLatin1Char('&')), QStringLiteral("Отмена"));
    QCOMPARE(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName());
  }

  void BannerAndLogWindowKeepTheConsoleColours() {
    m_Capture->Clear();
    WriteBanner();
    auto spans = m_Capture->Spans();
    QVERIFY(!spans.empty());
    QCOMPARE(spans.front().first, kColorBanner);
    QCOMPARE(m_Capture->Text(),
             "* Программирование Pic18f26k42 через com-порт\n* " + BannerHomePageUrl().toStdString() + "\n\n");
    for (const auto& [color, text] : spans) QCOMPARE(color, kColorBanner);

    LogWindow window;
    window.Attach();
    Log().SetColor(kColorWarning).Text("warn").SetColor(kColorNormal).Text(" plain\n");
    QTRY_VERIFY(window.toPlainText().contains(QStringLiteral("warn plain")));
    QTextCursor c(window.document());
    c.setPosition(static_cast<int>(window.toPlainText().indexOf(QStringLiteral("warn"))) + 1);
    QCOMPARE(c.charFormat().foreground().color(), ConsoleColor(kColorWarning));
    c.setPosition(static_cast<int>(window.toPlainText().indexOf(QStringLiteral("plain"))) + 1);
    QCOMPARE(c.charFormat().foreground().color(), ConsoleColor(kColorNormal));
    QCOMPARE(ConsoleColor(kColorBanner), QColor(0, 255, 255));
  }

  void SettingsLiveInTheirSectionsWithDefaults() {
    QTemporaryDir dir;
    QString ini = dir.filePath(QStringLiteral("s.ini"));
    {
      QtSettingsStore store(ini);
      QCOMPARE(store.ReadInt("OSerialPortSelector", "m_PortSelect_0", 0), 0);
      QCOMPARE(store.ReadString("OPEN", "PATH", "d:\\data"), std::string("d:\\data"));
      store.WriteInt("OSerialPortSelector", "m_PortSelect_0", 3);
      store.WriteString("OPEN", "PATH", "/home/u/прошивки");
    }
    QtSettingsStore again(ini);
    QCOMPARE(again.ReadInt("OSerialPortSelector", "m_PortSelect_0", 0), 3);
    QCOMPARE(again.ReadString("OPEN", "PATH", ""), std::string("/home/u/прошивки"));
    QSettings raw(ini, QSettings::IniFormat);
    QCOMPARE(raw.value(QStringLiteral("OPEN/PATH")).toString(), QStringLiteral("/home/u/прошивки"));
  }

  // The log window stands beside the main window where it fits, narrowed to
  // the free side where it does not, and never half under it; once closed,
  // the panes' menu and Ctrl+L bring it back.
  void TheLogWindowStandsBesideAndComesBack() {
    const QSize log(640, 480);
    const QRect screen(0, 0, 1600, 900);
    QCOMPARE(LogWindowPlace(QRect(100, 50, 700, 500), log, screen), QRect(800, 50, 640, 500));
    QCOMPARE(LogWindowPlace(QRect(900, 50, 700, 500), log, screen), QRect(260, 50, 640, 500));
    const QRect centred(450, 50, 700, 500);  // 450 px free on either side
    QRect place = LogWindowPlace(centred, log, screen);
    QVERIFY(!place.intersects(centred));
    QVERIFY(screen.contains(place));
    QCOMPARE(place.width(), 450);
    // 1366 x 768 with the window in the middle: 333 px to each side.
    const QRect small(0, 0, 1366, 768), middle(333, 50, 700, 500);
    place = LogWindowPlace(middle, log, small);
    QVERIFY(!place.intersects(middle));
    QVERIFY(small.contains(place));
    // No useful room at all: against the edge, covering as little as can be.
    const QRect wide(100, 50, 1200, 500);
    place = LogWindowPlace(wide, log, QRect(0, 0, 1366, 768));
    QVERIFY(QRect(0, 0, 1366, 768).contains(place));
    QCOMPARE(place.intersected(wide).width(), 640 - 100);  // on the left; the right would cover 574

    LogWindow window;
    m_Window->show();
    ShowWindows(*m_Window, window, std::nullopt);
    QVERIFY(window.isVisible());
    window.close();
    QVERIFY(!window.isVisible());
    m_Window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_Window.get()));
    QTest::keyClick(m_Window.get(), Qt::Key_L, Qt::ControlModifier);
    QVERIFY(window.isVisible());
  }

  // The log window follows its end through a long load, so the lines after
  // it (a backup's path, the end of a write) come into view, until the user
  // scrolls up; and again once the user is back at the end. Narrow beside
  // the window on a small screen, it wraps its lines instead of cutting them.
  void TheLogWindowFollowsItsEndUnlessScrolledUpAndWrapsItsLines() {
    LogWindow window;
    window.resize(331, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.Attach();
    QScrollBar& bar = *window.verticalScrollBar();
    auto lastLineShown = [&window](const QString& text) {
      const QTextBlock last = window.document()->lastBlock().previous();  // the open paragraph is last
      return last.text() == text && window.cursorRect(QTextCursor(last)).bottom() <= window.viewport()->height();
    };
    for (int i = 0; i < 1000; ++i) Log().Text("Adr=").Hex(static_cast<uint32_t>(i) * 16).Text(" Sz=16 type=0\n");
    Log().Text("Резервная копия модуля: /home/u/.local/share/tolvane/backups/0123456789ABCDEF-20240101-120000.hex\n");
    QTRY_VERIFY(window.toPlainText().contains(QStringLiteral("backups/")));
    QCoreApplication::processEvents();
    Log().Text("Конец записи, записано блоков = 1024 из них защищено от изменений = 16\n");
    QTRY_VERIFY(
        lastLineShown(QStringLiteral("Конец записи, записано блоков = 1024 из них защищено от изменений = 16")));
    QCOMPARE(bar.value(), bar.maximum());
    // Nothing is cut off at the side: the long lines wrap.
    QCOMPARE(window.horizontalScrollBar()->maximum(), 0);
    QTextBlock backup = window.document()->findBlock(
        static_cast<int>(window.toPlainText().indexOf(QStringLiteral("Резервная копия модуля"))));
    QVERIFY(backup.layout()->lineCount() > 1);

    // Scrolled up, the view stays where the user put it.
    bar.triggerAction(QAbstractSlider::SliderPageStepSub);
    const int kept = bar.value();
    QVERIFY(kept < bar.maximum());
    for (int i = 0; i < 50; ++i) Log().Text("Принято 1 байт: 00\n");
    QTRY_VERIFY(window.toPlainText().count(QStringLiteral("Принято")) == 50);
    QCoreApplication::processEvents();
    QCOMPARE(bar.value(), kept);
    QVERIFY(!window.Following());
    // Back at the end, it follows again.
    bar.triggerAction(QAbstractSlider::SliderToMaximum);
    Log().Text("Конец\n");
    QTRY_VERIFY(lastLineShown(QStringLiteral("Конец")));
    QVERIFY(window.Following());
  }

  // The kept ranges are refused in the window's own words, one sentence per
  // kind of fault naming the item at fault (the shared parser's reasons are
  // English), in the ranges dialog and at a write; a blank list keeps nothing.
  void KeptRangesAreRefusedInRussian() {
    const std::vector<std::pair<QString, QString>> cases{
        {QStringLiteral("abc"), QStringLiteral("«abc» не в виде АДРЕС:ДЛИНА (числа как 0xF000:256)")},
        {QStringLiteral("0xF000:"), QStringLiteral("«0xF000:» не в виде АДРЕС:ДЛИНА (числа как 0xF000:256)")},
        {QStringLiteral("0xF000:0"), QStringLiteral("«0xF000:0» ничего не сохраняет: длина должна быть больше 0")},
        {QStringLiteral("0x100:16"), QStringLiteral("«0x100:16» заходит в область монитора (ниже 0x0400)")},
        {QStringLiteral("0xE000:8 0xFFF0:32"),
         QStringLiteral("«0xFFF0:32» выходит за конец памяти программ (0x10000)")},
        {QStringLiteral("-5:16"), QStringLiteral("«-5:16»: адрес не может быть отрицательным")},
        {QStringLiteral("0xF000:256, 0xF080:16"), QStringLiteral("области с 0xF000 и с 0xF080 перекрываются")},
    };
    for (const auto& [typed, why] : cases) {
      m_Desktop->Messages.clear();
      m_Desktop->NextText = typed;
      m_Desktop->WhileShown = [this] { m_Desktop->NextText.reset(); };  // then cancelled
      m_Window->EditKeepRanges();
      QCOMPARE(m_Desktop->Messages.size(), size_t{1});
      QCOMPARE(m_Desktop->Messages[0].Text, QStringLiteral("Области заданы неверно: ") + why);
      QCOMPARE(m_Desktop->Messages[0].Caption, QStringLiteral("ОШИБКА"));
    }
    m_Desktop->Messages.clear();
    m_Desktop->WhileShown = nullptr;
    UpdateOptions options;
    options.KeepData = true;
    options.KeepRanges = "0xF000:16";
    m_Window->SetOptions(options);
    m_Desktop->NextText = QStringLiteral("  ");
    m_Window->EditKeepRanges();
    QVERIFY(m_Desktop->Messages.empty());
    QCOMPARE(m_Window->Options().KeepRanges, std::string());

    // Ranges remembered wrong (by hand, or by an older version) stop a write
    // before it starts, in the same words.
    options.KeepRanges = "0xF000:256, 0xF080:16";
    m_Window->SetOptions(options);
    m_Window->OpenHexFile(QStringLiteral(TOLVANE_EXAMPLES_DIR "/demo-firmware.hex"));
    QSignalSpy ended(m_Window.get(), &CProgPicDlg::ProcedureEnded);
    m_Window->OnWrite();
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.takeFirst().at(0).value<ProcedureStatus>(), ProcedureStatus::Refused);
    QCOMPARE(m_Desktop->Messages.back().Caption, QStringLiteral("ОШИБКА ЗАПИСИ"));
    QCOMPARE(m_Desktop->Messages.back().Text,
             QStringLiteral("Области данных модуля заданы неверно: области с 0xF000 и с 0xF080 перекрываются\n"
                            "Запись не начата, прошивка в модуле не изменена."));
  }

  // A remembered port that is not there (a simulated device's line from an
  // earlier run, an adapter unplugged) is said at start, and stays said.
  void AnAbsentRememberedPortIsSaid() {
    SaveRememberedPort(*m_Settings, "OSerialPortSelector", "m_PortSelect_0", test::kAbsentPort);
    m_Window = std::make_unique<CProgPicDlg>(*m_Settings, std::vector<PortRecord>{}, &m_Ports, *m_Desktop);
    const QString said = QStringLiteral("порт %1 не найден: подключите его или выберите другой")
                             .arg(QString::fromStdString(test::kAbsentPort));
    QCOMPARE(m_Window->StatusField().text(), said);
    m_Window->OnReceiveTimer();
    QTest::qWait(1100);
    m_Window->OnReceiveTimer();
    QCOMPARE(m_Window->StatusField().text(), said);
  }

  // Long texts in the status field show their start: the Russian words, not
  // the tail of a path.
  void TheStatusFieldShowsALongTextFromItsStart() {
    m_Ports.Ports.push_back(PortRecord{"/dev/tolvane-no-such-port-with-a-rather-long-name", "adapter"});
    m_Window = std::make_unique<CProgPicDlg>(*m_Settings, std::vector<PortRecord>{}, &m_Ports, *m_Desktop);
    QVERIFY(m_Window->ChoosePort("/dev/tolvane-no-such-port-with-a-rather-long-name"));
    m_Window->OnReceiveTimer();
    QTest::qWait(1100);
    m_Window->OnReceiveTimer();
    QVERIFY(m_Window->StatusField().text().startsWith(QStringLiteral("Не могу открыть выбранный порт")));
    QCOMPARE(m_Window->StatusField().cursorPosition(), 0);
  }

  // The question about a damaged file comes before anything starts (no busy
  // bar behind it), and the user's own "no" brings no second box.
  void TheQuestionAboutADamagedFileComesFirstAndANoNeedsNoBox() {
    QTemporaryDir dir;
    m_Desktop->NextFile = QString::fromStdString(WriteFile(dir, "bad.hex", ":0404000001020304F2\n:00000001FF\n"));
    m_Window->OnOpenHexFile();
    const size_t loaded = m_Desktop->Messages.size();
    QVERIFY(m_Desktop->Messages.back().Text.startsWith(QStringLiteral("HEX-файл вызывает сомнения: ")));
    bool quietBehind = false;
    m_Desktop->WhileShown = [&] { quietBehind = !m_Window->Progress().isVisible() && !m_Window->ProcedureRunning(); };
    QSignalSpy ended(m_Window.get(), &CProgPicDlg::ProcedureEnded);
    m_Window->OnWrite();
    QCOMPARE(m_Desktop->Messages.size(), loaded + 1);
    QVERIFY(m_Desktop->Messages.back().Text.startsWith(QStringLiteral("HEX-файл вызывает сомнения: ")));
    QVERIFY(m_Desktop->Messages.back().Text.endsWith(QStringLiteral("Записать его в модуль всё равно?")));
    QVERIFY(quietBehind);
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.takeFirst().at(0).value<ProcedureStatus>(), ProcedureStatus::Refused);
  }

  // The drop-down list shows its longest entry whole; a disabled pane's links
  // are grey like the rest of it.
  void TheLongestPortEntryShowsAndDisabledLinksAreGrey() {
    const QString name = QString::fromUtf8(kSimulatedDeviceName);
    m_Window = std::make_unique<CProgPicDlg>(
        *m_Settings, std::vector<PortRecord>{{"/dev/pts/99", kSimulatedDeviceName}}, &m_Ports, *m_Desktop);
    QComboBox& combo = m_Window->PortCombo();
    const int index = combo.findData(QStringLiteral("/dev/pts/99"));
    QVERIFY(index > 0);
    QVERIFY(combo.view()->minimumWidth() > combo.fontMetrics().horizontalAdvance(combo.itemText(index)));
    QVERIFY(combo.itemText(index).contains(name));

    RichPane& header = m_Window->Header();
    const int link = static_cast<int>(header.toPlainText().indexOf(QStringLiteral("Новые прошивки")));
    QCOMPARE(FormatAt(header, link).foreground().color(), QColor(0, 0, 255));
    header.setEnabled(false);
    QVERIFY(FormatAt(header, link).foreground().color() != QColor(0, 0, 255));
    header.setEnabled(true);
    QCOMPARE(FormatAt(header, link).foreground().color(), QColor(0, 0, 255));
  }

 private:
  std::shared_ptr<test::CaptureSink> m_Capture;
  test::FakePortSource m_Ports;
  std::unique_ptr<test::FakeDesktop> m_Desktop;
  std::unique_ptr<test::FakeSettings> m_Settings;
  std::unique_ptr<CProgPicDlg> m_Window;
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
