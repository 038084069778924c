// The whole update as a user does it, against the simulated device on a
// pseudo-terminal: choose the port, open the example file, write, see the
// progress and the verdict with the blue monitor area, run. Also a port that
// vanishes mid-write and a Cancel.
#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QDir>
#include <QLabel>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>
#include <memory>
#include <set>

#include "app/start_up.h"
#include "session/built_in_device.h"
#include "image/hex_reader.h"
#include "log/console_log.h"
#include "serial/port_naming.h"
#include "sim/simulated_device.h"
#include "fake_desktop.h"
#include "ui/main_window.h"
#include "ui/main_window_layout.h"
#include "ui/rich_pane.h"
#include "ui/update_options.h"

using namespace tolvane;

namespace {

const QString kExample = QStringLiteral(TOLVANE_EXAMPLES_DIR "/demo-firmware.hex");
constexpr int kProcedureTimeoutMs = 60000;

bool IsBlue(RichPane& pane, int position) {
  QTextCursor c(pane.document());
  c.setPosition(position + 1);
  return c.charFormat().fontWeight() == QFont::Bold && c.charFormat().foreground().color() == QColor(0, 0, 255);
}

}  // namespace

class UpdateFlowTest : public QObject {
  Q_OBJECT
 private:
  void StartDevice(SimulatedDeviceOptions options = {}) {
    m_Device = std::make_unique<SimulatedDevice>(std::move(options));
    std::string error;
    QVERIFY2(m_Device->Start(&error), error.c_str());
    m_Window = std::make_unique<CProgPicDlg>(*m_Settings, std::vector<PortRecord>{{m_Device->PortPath(), ""}}, &m_Ports,
                                             *m_Desktop);
    m_Window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_Window.get()));
  }

  // What a user does: pick the device's entry in the port list.
  void ChoosePort() {
    QComboBox& combo = m_Window->PortCombo();
    int index = combo.findData(QString::fromStdString(m_Device->PortPath()));
    QVERIFY(index > 0);
    combo.setCurrentIndex(index);
    emit combo.activated(index);
    QVERIFY(m_Window->Port().IsOpen());
  }

  void OpenExample() {
    m_Desktop->NextFile = kExample;
    m_Window->Button(ctl::kOpenFile)->click();
    QVERIFY(m_Window->FileImage()[0x400] != 0xFF);
  }

  // Serves the window until the procedure has ended; the most blocks the
  // progress bar showed meanwhile, or -1 when it did not end in time. The
  // stages the bar named, each with its count ("Запись/1024"), are kept in
  // m_Stages; a stage that counted beyond its own blocks sets m_StageOverrun.
  int WaitForEnd(QSignalSpy& ended) {
    static const QRegularExpression kStage(QStringLiteral("^([^:]+): (\\d+) из (\\d+) блоков"));
    m_Stages.clear();
    m_StageOverrun = false;
    QElapsedTimer clock;
    clock.start();
    int most = 0;
    while (ended.isEmpty()) {
      if (clock.elapsed() > kProcedureTimeoutMs) return -1;
      QTest::qWait(5);
      if (!m_Window->Progress().isVisible()) continue;
      most = std::max(most, m_Window->Progress().value());
      const QRegularExpressionMatch stage = kStage.match(m_Window->Progress().format());
      if (!stage.hasMatch()) continue;
      m_Stages.insert(stage.captured(1) + QStringLiteral("/") + stage.captured(3));
      m_StageOverrun = m_StageOverrun || stage.captured(2).toInt() > stage.captured(3).toInt();
    }
    return most;
  }

  std::unique_ptr<QSignalSpy> Press(int id) {
    auto spy = std::make_unique<QSignalSpy>(m_Window.get(), &CProgPicDlg::ProcedureEnded);
    m_Window->Button(id)->click();
    return spy;
  }

 private slots:
  // What the window keeps for the user goes to a folder of the tests.
  void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
  void init() {
    m_Ports.Ports.clear();
    m_Desktop = std::make_unique<test::FakeDesktop>();
    m_Settings = std::make_unique<test::FakeSettings>();
  }
  void cleanup() {
    m_Window.reset();
    m_Device.reset();
    m_Desktop.reset();
  }

  void WriteVerifyAndRunLikeAUser() {
    StartDevice();
    // A device whose identifiers and configuration words are those of the
    // file (no procedure writes them), so only the monitor area differs.
    FirmwareImage file;
    LoadHexFile(kExample.toStdString(), file);
    FirmwareImage memory = SimulatedDevice::FactoryImage();
    for (int k = 0; k < kVerifiedRegionCount; ++k) std::copy_n(file.Slot(k), kRegionSlotSize, memory.Slot(k));
    m_Device->SetMemory(memory);
    ChoosePort();
    OpenExample();
    size_t boxesBefore = m_Desktop->Messages.size();
    auto ended = Press(ctl::kWrite);
    // While it runs: progress and Cancel shown, nothing else takes input.
    QVERIFY(m_Window->ProcedureRunning());
    QVERIFY(m_Window->Progress().isVisible());
    QVERIFY(m_Window->CancelButton().isVisible());
    QVERIFY(m_Window->CancelButton().isEnabled());
    for (int id : {ctl::kWrite, ctl::kRead, ctl::kVerify, ctl::kRun, ctl::kOpenFile, ctl::kPortList, ctl::kCapture,
                   ctl::kView, ctl::kHelp}) {
      QVERIFY2(!m_Window->Control(id)->isEnabled(), qPrintable(QString::number(id)));
    }
    QVERIFY(WaitForEnd(*ended) > 0);
    QCOMPARE(ended->takeFirst().at(0).value<ProcedureStatus>(), ProcedureStatus::Done);
    // The bar names each stage with its own count, as the log counts it.
    for (const QString& stage : m_Stages) {
      QVERIFY2(stage == QStringLiteral("Запись/1024") || stage == QStringLiteral("Проверка/2054"), qPrintable(stage));
    }
    QVERIFY(m_Stages.count(QStringLiteral("Проверка/2054")) == 1);
    QVERIFY(!m_StageOverrun);

    // The verdict: only the monitor area differs, so it is information.
    QCOMPARE(m_Desktop->Messages.size(), boxesBefore + 1);
    const MessageRequest& verdict = m_Desktop->Messages.back();
    QCOMPARE(verdict.Caption, QStringLiteral("ИНФОРМАЦИЯ"));
    QCOMPARE(verdict.Icon, MessageIcon::Exclamation);
    QCOMPARE(verdict.Text, QStringLiteral("Несовпадения есть только в области монитора, но это ерунда!\r\n"
                                          "Не совпадения выделены синим цветом"));
    // The file image is shown, its monitor area blue, the user area not.
    QVERIFY(m_Window->Button(ctl::kShowFile)->isChecked());
    QVERIFY(IsBlue(m_Window->View(), 8));
    int userRow = 57 * (0x400 / 16);
    QVERIFY(!IsBlue(m_Window->View(), userRow + 8));
    QVERIFY(m_Window->Control(ctl::kWrite)->isEnabled());
    QVERIFY(m_Window->Control(ctl::kWrite)->hasFocus());
    QVERIFY(m_Window->Progress().isHidden());
    QCOMPARE(m_Device->Stats().BlocksWritten, int64_t{1024 - 16});

    // The line traffic resumes: the status field shows the throughput.
    QTRY_VERIFY_WITH_TIMEOUT(m_Window->StatusField().text().contains(QStringLiteral("байт/с")), 3000);

    // Run: the frame goes out and the window closes.
    auto ran = Press(ctl::kRun);
    QVERIFY(ran->wait(kProcedureTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(!m_Window->isVisible(), 2000);
    QCOMPARE(m_Window->result(), int(QDialog::Accepted));
    QTRY_COMPARE_WITH_TIMEOUT(m_Device->Stats().RunCommands, int64_t{1}, 2000);
  }

  // A file without program data is refused at the write, whatever is
  // answered: writing it would erase the device.
  void AFileWithNothingToWriteIsNeverWritten() {
    StartDevice();
    ChoosePort();
    QTemporaryDir dir;
    const QString notes = dir.filePath(QStringLiteral("notes.txt"));
    {
      QFile file(notes);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("firmware 2.1, see the hex file\n");
    }
    m_Desktop->NextFile = notes;
    m_Window->Button(ctl::kOpenFile)->click();
    QCOMPARE(m_Desktop->Messages.back().Caption, QStringLiteral("ПРЕДУПРЕЖДЕНИЕ"));
    m_Desktop->Answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    auto ended = Press(ctl::kWrite);
    QVERIFY(WaitForEnd(*ended) >= 0);
    QCOMPARE(ended->takeFirst().at(0).value<ProcedureStatus>(), ProcedureStatus::Refused);
    QCOMPARE(m_Desktop->Messages.back().Caption, QStringLiteral("ОШИБКА ЗАПИСИ"));
    QVERIFY(m_Desktop->Messages.back().Text.startsWith(QStringLiteral("В HEX-файле нет данных программы!")));
    QCOMPARE(m_Device->Stats().WriteCommands, int64_t{0});
  }

  // tolvane --sim: a device inside the program, chosen under its own name,
  // as slow as a device on a real line, that a write reaches the verdict with.
  // Its line is never remembered as the port of the next start, not even
  // when picked again; during the write the bar names the stage and the
  // status field shows the line's rate, measured.
  void TheBuiltInDeviceIsChosenAndTakesADevicesTime() {
    // An adapter is remembered, in the form this platform keeps it.
    m_Ports.Ports.push_back(PortRecord{test::kAbsentPort, "adapter"});
    SaveRememberedPort(*m_Settings, "OSerialPortSelector", "m_PortSelect_0", test::kAbsentPort);
    std::string error;
    std::unique_ptr<SimulatedDevice> device = StartBuiltInDevice(kDefaultSimPace, &error);
    QVERIFY2(device, error.c_str());
    m_Window = std::make_unique<CProgPicDlg>(
        *m_Settings, std::vector<PortRecord>{{device->PortPath(), kSimulatedDeviceName}}, &m_Ports, *m_Desktop);
    QVERIFY(m_Window->ChoosePort(device->PortPath(), false));
    QVERIFY(m_Window->Port().IsOpen());
    QVERIFY(m_Window->PortCombo().currentText().contains(QString::fromUtf8(kSimulatedDeviceName)));
    const int index = m_Window->PortCombo().currentIndex();
    emit m_Window->PortCombo().activated(index);
    QVERIFY(m_Window->Port().IsOpen());
    QCOMPARE(LoadRememberedPort(*m_Settings, "OSerialPortSelector", "m_PortSelect_0"), test::kAbsentPort);
    OpenExample();
    auto ended = Press(ctl::kWrite);
    QTest::qWait(1000);
    // A block takes about 14 ms on the line and in the flash: after a second
    // some tens are written, not the hundreds a full-speed device takes.
    const int64_t written = device->Stats().WriteCommands;
    QVERIFY2(written > 20 && written < 150, qPrintable(QString::number(written)));
    QVERIFY2(m_Window->Progress().format().startsWith(QStringLiteral("Запись: ")),
             qPrintable(m_Window->Progress().format()));
    QVERIFY(m_Window->Progress().format().contains(QStringLiteral(" из 1024 блоков")));
    QCOMPARE(m_Window->Progress().maximum(), 1024);
    // 57600 baud carries at most 5760 bytes a second each way.
    static const QRegularExpression kRate(QStringLiteral("^(\\d+\\.\\d+) байт/с$"));
    QTRY_VERIFY_WITH_TIMEOUT(kRate.match(m_Window->StatusField().text()).hasMatch(), 3000);
    const double rate = kRate.match(m_Window->StatusField().text()).captured(1).toDouble();
    QVERIFY2(rate > 1000 && rate < 2 * 5760, qPrintable(m_Window->StatusField().text()));
    QElapsedTimer clock;
    clock.start();
    while (ended->isEmpty() && clock.elapsed() < 60000) QTest::qWait(20);
    QCOMPARE(ended->size(), 1);
    QCOMPARE(ended->takeFirst().at(0).value<ProcedureStatus>(), ProcedureStatus::Done);
    QCOMPARE(m_Desktop->Messages.back().Caption, QStringLiteral("ИНФОРМАЦИЯ"));
    m_Window.reset();
  }

  // A read shows the device's page directly; only a verify shows the file.
  void AReadShowsTheDevicePageWithoutPassingTheFilePage() {
    StartDevice();
    ChoosePort();
    OpenExample();
    m_Window->ShowInstructions();
    int filePageShown = 0;
    QObject::connect(m_Window->Button(ctl::kShowFile), &QAbstractButton::toggled,
                     [&filePageShown](bool on) { filePageShown += on ? 1 : 0; });
    auto ended = Press(ctl::kRead);
    QVERIFY(WaitForEnd(*ended) > 0);
    QCOMPARE(ended->takeFirst().at(0).value<ProcedureStatus>(), ProcedureStatus::Done);
    QCOMPARE(filePageShown, 0);
    QVERIFY(m_Window->Button(ctl::kShowDevice)->isChecked());
  }

  // Here during the read for the backup: the verdict says none was made.
  void APortThatVanishesMidWriteIsReportedAndDropped() {
    SimulatedDeviceOptions options;
    options.Faults.push_back(SimFault{SimFaultKind::Vanish, 200});
    StartDevice(std::move(options));
    UpdateOptions backup;
    backup.Backup = true;
    m_Window->SetOptions(backup);
    ChoosePort();
    OpenExample();
    size_t before = m_Desktop->Messages.size();
    auto ended = Press(ctl::kWrite);
    QVERIFY(ended->wait(kProcedureTimeoutMs));
    QCOMPARE(ended->takeFirst().at(0).value<ProcedureStatus>(), ProcedureStatus::LinkFailed);
    // The write's own box says the port is lost, and the port is dropped at
    // once: no second box about it from the receive tick.
    QCOMPARE(m_Desktop->Messages.size(), before + 1);
    QCOMPARE(m_Desktop->Messages[before].Caption, QStringLiteral("ОШИБКА ПРИ РАБОТЕ С COM-ПОРТОМ"));
    QVERIFY(m_Desktop->Messages[before].Text.startsWith(QStringLiteral("Связь с портом потеряна: ")));
    QVERIFY(m_Desktop->Messages[before].Text.endsWith(
        QStringLiteral("\nРезервная копия не сохранена: прошивка модуля не была прочитана целиком.")));
    QVERIFY(m_Window->Control(ctl::kWrite)->isEnabled());
    QVERIFY(!m_Window->Port().IsOpen());
    QCOMPARE(m_Window->PortCombo().currentIndex(), 0);
    QTest::qWait(300);
    QCOMPARE(m_Desktop->Messages.size(), before + 1);
  }

  // A port lost while another box is open is told once that box has closed,
  // with the system's reason; a port whose writes stall says so.
  void APortLostUnderAnotherBoxIsToldWhenItCloses() {
    SimulatedDeviceOptions options;
    options.Faults.push_back(SimFault{SimFaultKind::Vanish, 1});
    StartDevice(std::move(options));
    ChoosePort();
    size_t during = 0;
    m_Desktop->WhileShown = [&] {
      if (m_Desktop->Messages.size() != 1) return;
      // The first read command makes the device vanish; the tick then fails.
      uint8_t frame[5] = {0xCD, 0xE6, 0, 0, 0};
      m_Window->Port().Write(frame, 5);
      QTRY_VERIFY_WITH_TIMEOUT((m_Window->OnReceiveTimer(), !m_Window->Port().IsOpen()), 3000);
      during = m_Desktop->Messages.size();
    };
    m_Window->OnHelpButton();  // any box: here the help's own, when the browser fails
    m_Desktop->BrowserWorks = false;
    m_Window->OnHelpButton();
    QCOMPARE(during, size_t{1});  // nothing on top of the open box
    QVERIFY(m_Desktop->Messages.size() >= 2);
    QCOMPARE(m_Desktop->Messages[1].Caption, QStringLiteral("ОШИБКА ПРИ РАБОТЕ С COM-ПОРТОМ"));
    QVERIFY(!m_Desktop->Messages[1].Text.contains(QStringLiteral("?\n")));
    // Every line in Russian words: the system's reason follows them.
    static const QRegularExpression kRussian(QStringLiteral("[А-Яа-яЁё]"));
    for (const QString& line : m_Desktop->Messages[1].Text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
      QVERIFY2(line.contains(kRussian), qPrintable(m_Desktop->Messages[1].Text));
    QVERIFY(m_Desktop->Messages[1].Text.contains(QStringLiteral("\nСвязь с портом потеряна: ")));
    QCOMPARE(m_Window->PortCombo().currentIndex(), 0);
  }

  void CancelStopsAWriteAndGivesTheWindowBack() {
    SimulatedDeviceOptions options;
    options.ProgramTimeUs = 2000;  // slow enough to be caught in the middle
    StartDevice(std::move(options));
    ChoosePort();
    OpenExample();
    auto ended = Press(ctl::kWrite);
    QTRY_VERIFY_WITH_TIMEOUT(m_Window->Progress().value() > 10, 20000);
    QTest::mouseClick(&m_Window->CancelButton(), Qt::LeftButton);
    QVERIFY(ended->wait(kProcedureTimeoutMs));
    QCOMPARE(ended->takeFirst().at(0).value<ProcedureStatus>(), ProcedureStatus::Stopped);
    QVERIFY(m_Device->Stats().WriteCommands < 1024);
    QVERIFY(m_Window->isVisible());
    for (int id : {ctl::kWrite, ctl::kRead, ctl::kVerify, ctl::kRun, ctl::kOpenFile, ctl::kPortList}) {
      QVERIFY(m_Window->Control(id)->isEnabled());
    }
    QVERIFY(m_Window->Button(ctl::kShowFile)->isVisible());
  }

  // Esc during a write asks first (No by default) instead of stopping it at
  // once; a signal's request to end stops it between two blocks and closes.
  void EscAsksBeforeStoppingAWriteAndASignalStopsAndCloses() {
    SimulatedDeviceOptions options;
    options.ProgramTimeUs = 2000;
    StartDevice(std::move(options));
    ChoosePort();
    OpenExample();
    auto ended = Press(ctl::kWrite);
    QTRY_VERIFY_WITH_TIMEOUT(m_Window->Progress().value() > 10, 20000);
    const size_t before = m_Desktop->Messages.size();
    QTest::keyClick(m_Window.get(), Qt::Key_Escape);
    QCOMPARE(m_Desktop->Messages.size(), before + 1);
    QCOMPARE(m_Desktop->Messages.back().Text, QStringLiteral("Прервать?"));
    QCOMPARE(m_Desktop->Messages.back().Default, MessageAnswer::No);
    QVERIFY(m_Window->ProcedureRunning());  // the default answer keeps it going

    m_Window->StopAndClose();
    QVERIFY(ended->wait(kProcedureTimeoutMs));
    QCOMPARE(ended->takeFirst().at(0).value<ProcedureStatus>(), ProcedureStatus::Stopped);
    QVERIFY(m_Device->Stats().WriteCommands < 1024);
    QTRY_VERIFY_WITH_TIMEOUT(!m_Window->isVisible(), 2000);
    QCOMPARE(m_Desktop->Messages.size(), before + 1);  // no box waits for a user who asked to end
  }

  // The ways of updating are check items, off at first, remembered in the
  // settings store beside what was there before.
  void TheUpdateOptionsAreOffAtFirstAndRemembered() {
    m_Settings->Strings["OPEN/PATH"] = "/home/u/fw";
    StartDevice();
    const UpdateOptions first = m_Window->Options();
    QVERIFY(!first.WaitForMonitor && !first.ChangedOnly && !first.Backup && !first.KeepData);
    UpdateOptions all = first;
    all.WaitForMonitor = all.ChangedOnly = all.Backup = all.KeepData = true;
    all.KeepRanges = "0xF000:16";
    m_Window->SetOptions(all);
    m_Window = std::make_unique<CProgPicDlg>(*m_Settings, std::vector<PortRecord>{}, &m_Ports, *m_Desktop);
    const UpdateOptions again = m_Window->Options();
    QVERIFY(again.WaitForMonitor && again.ChangedOnly && again.Backup && again.KeepData);
    QCOMPARE(again.KeepRanges, std::string("0xF000:16"));
    QCOMPARE(m_Settings->Strings["OPEN/PATH"], std::string("/home/u/fw"));
    // The list is asked for and checked: a wrong one is said and asked again.
    m_Desktop->NextText = QStringLiteral("0x300:16");
    int asked = 0;
    m_Desktop->WhileShown = [&] { m_Desktop->NextText = QStringLiteral("0xF000:0x20, 0xE000:8"); };
    m_Window->EditKeepRanges();
    asked = static_cast<int>(m_Desktop->Asked.size());
    QCOMPARE(asked, 2);
    QCOMPARE(m_Window->Options().KeepRanges, std::string("0xE000:8, 0xF000:32"));
  }

  // Waiting for the monitor: what to do and the time left stand where the
  // progress does, with Cancel; a device switched on is then written, only
  // what changed, with a backup first.
  void AWaitForTheMonitorThenOnlyWhatChangedWithABackup() {
    QDir(BackupFolder()).removeRecursively();
    QFile::remove(HistoryFile());
    SimulatedDeviceOptions late;
    late.RequireCapture = true;
    late.PowerOnAfterMs = 1500;
    StartDevice(late);
    UpdateOptions options;
    options.WaitForMonitor = options.ChangedOnly = options.Backup = true;
    m_Window->SetOptions(options);
    ChoosePort();
    OpenExample();
    const size_t before = m_Desktop->Messages.size();
    auto ended = Press(ctl::kWrite);
    QTRY_VERIFY_WITH_TIMEOUT(m_Window->WaitingLabel().isVisible(), 2000);
    QVERIFY(m_Window->WaitingLabel().text().startsWith(QStringLiteral("Включите модуль или перезапустите его")));
    QVERIFY(!m_Window->Progress().isVisible());
    QVERIFY(m_Window->CancelButton().isVisible());
    QVERIFY(WaitForEnd(*ended) >= 0);
    QCOMPARE(ended->takeFirst().at(0).value<ProcedureStatus>(), ProcedureStatus::Done);
    QCOMPARE(m_Desktop->Messages.size(), before + 1);
    QVERIFY(m_Desktop->Messages.back().Text.contains(QStringLiteral("уже были верны")));
    const QStringList backups = QDir(BackupFolder()).entryList({QStringLiteral("*.hex")});
    QCOMPARE(backups.size(), 1);
    // The verdict says where the backup is; the bar named the backup's read
    // and the write (each block read back at once: no stage of checking).
    QVERIFY2(m_Desktop->Messages.back().Text.endsWith(
                 QStringLiteral("\nРезервная копия: ") +
                 QDir::toNativeSeparators(QDir(BackupFolder()).filePath(backups.front()))),
             qPrintable(m_Desktop->Messages.back().Text));
    QCOMPARE(m_Stages, (std::set<QString>{QStringLiteral("Резервная копия/2054"), QStringLiteral("Запись/1024")}));
    QVERIFY(!m_StageOverrun);
    // The write's record in the history, under the header.
    QFile history(HistoryFile());
    QVERIFY(history.open(QIODevice::ReadOnly));
    const QList<QByteArray> records = history.readAll().split('\n');
    QCOMPARE(records.size(), 3);  // the header, the record, nothing after the last line end
    QVERIFY(records[0].startsWith("time,host,port,file,sha256,unique_id"));
    QVERIFY(records[1].contains(",demo-firmware.hex,"));
    QVERIFY(records[1].contains(",write,ok,"));

    // Nothing switched on: Cancel ends the wait, and no box is shown for it.
    SimulatedDeviceOptions off;
    off.PowerOnAfterMs = 600000;
    StartDevice(off);
    m_Window->SetOptions(options);
    ChoosePort();
    auto waited = Press(ctl::kRead);
    QTRY_VERIFY_WITH_TIMEOUT(m_Window->WaitingLabel().isVisible(), 2000);
    const size_t shown = m_Desktop->Messages.size();
    QTest::mouseClick(&m_Window->CancelButton(), Qt::LeftButton);
    QVERIFY(waited->wait(kProcedureTimeoutMs));
    QCOMPARE(waited->takeFirst().at(0).value<ProcedureStatus>(), ProcedureStatus::Stopped);
    QCOMPARE(m_Desktop->Messages.size(), shown);
  }

  void APortListChangeDuringAWriteWaitsForItsEnd() {
    StartDevice();
    ChoosePort();
    OpenExample();
    int before = m_Window->PortCombo().count();
    auto ended = Press(ctl::kWrite);
    m_Ports.Ports.push_back(PortRecord{"/dev/ttyUSB7", "adapter"});
    m_Window->OnDeviceChange();
    QCOMPARE(m_Window->PortCombo().count(), before);
    QVERIFY(WaitForEnd(*ended) >= 0);
    QCOMPARE(m_Window->PortCombo().count(), before + 1);
    // The chosen port stayed open through the refresh.
    QVERIFY(m_Window->Port().IsOpen());
    QCOMPARE(m_Window->PortCombo().currentData().toString(), QString::fromStdString(m_Device->PortPath()));
  }

  void NoPortMeansEveryProcedureFailsAtOnce() {
    StartDevice();
    auto ended = Press(ctl::kRead);
    QVERIFY(ended->wait(kProcedureTimeoutMs));
    QCOMPARE(m_Desktop->Messages.size(), size_t{1});
    QCOMPARE(m_Desktop->Messages.back().Caption, QStringLiteral("ОШИБКА ЧТЕНИЯ"));
    // Run without a port keeps the window open and says why.
    auto ran = Press(ctl::kRun);
    QVERIFY(ran->wait(kProcedureTimeoutMs));
    QCOMPARE(m_Desktop->Messages.size(), size_t{2});
    QCOMPARE(m_Device->Stats().RunCommands, int64_t{0});
    QTest::qWait(50);
    QVERIFY(m_Window->isVisible());
  }

 private:
  std::unique_ptr<test::FakeDesktop> m_Desktop;
  std::unique_ptr<test::FakeSettings> m_Settings;
  test::FakePortSource m_Ports;
  std::unique_ptr<SimulatedDevice> m_Device;
  std::unique_ptr<CProgPicDlg> m_Window;
  std::set<QString> m_Stages;
  bool m_StageOverrun = false;
};

QTEST_MAIN(UpdateFlowTest)
#include "update_flow_test.moc"
