// The desktop program as the system ends it: SIGTERM, SIGHUP (the session
// ended) and SIGINT close it with its port given back as it was found.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "gui_process.h"
#include "sim/simulated_device.h"

using namespace tolvane;

class QuitSignalsTest : public QObject {
  Q_OBJECT
 private slots:
  // Line settings as they were, no exclusive hold.
  void SignalsEndTheProgramWithThePortGivenBack() {
    for (int number : {SIGTERM, SIGHUP, SIGINT}) {
      EndsWithThePortGivenBack(number, false);
      if (QTest::currentTestFailed()) return;
    }
  }

  // Also while a box stands over the window (here the warning about a
  // damaged file named at start): the box goes with the window. The port
  // named on the command line is chosen though nothing remembers it.
  void ASignalEndsTheProgramUnderAnOpenBox() { EndsWithThePortGivenBack(SIGTERM, true); }

 private:
  void EndsWithThePortGivenBack(int number, bool boxOpen) {
    SimulatedDevice device;
    std::string error;
    QVERIFY2(device.Start(&error), error.c_str());
    const int fd = open(device.PortPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios found{};
    QVERIFY(fd >= 0 && tcgetattr(fd, &found) == 0);
    QTemporaryDir home;
    QStringList arguments{QStringLiteral("--port"), QString::fromStdString(device.PortPath())};
    if (boxOpen) {
      QFile cut(home.filePath(QStringLiteral("cut.hex")));
      QVERIFY(cut.open(QIODevice::WriteOnly));
      cut.write(":0400000001020304F2\n");
      arguments.append(cut.fileName());
    } else {
      // The port is remembered, so the window opens it as it starts.
      QDir(home.path()).mkpath(QStringLiteral("Quendal/Brasko_SD_Velm"));
      QFile ini(home.filePath(QStringLiteral("Quendal/Brasko_SD_Velm/Velm_SD_2017.conf")));
      QVERIFY(ini.open(QIODevice::WriteOnly));
      ini.write("[OSerialPortSelector]\nm_PortSelect_0=" + QByteArray::fromStdString(device.PortPath()) + "\n");
    }
    QProcess program;
    QVERIFY(test::StartGui(program, home.path(), arguments));
    const QByteArray until = boxOpen ? QByteArray("sExt = HEX") : QByteArray("Speed = 57600");
    QByteArray log = test::GuiTraceUntil(program, until);
    QVERIFY2(log.contains("Speed = 57600") && log.contains(until), log.constData());
    if (boxOpen) QTest::qWait(500);  // the box is up
    kill(static_cast<pid_t>(program.processId()), number);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    termios after{};
    QVERIFY(tcgetattr(fd, &after) == 0);
    QCOMPARE(cfgetospeed(&after), cfgetospeed(&found));
    int exclusive = -1;
    ioctl(fd, TIOCGEXCL, &exclusive);
    QCOMPARE(exclusive, 0);
    close(fd);
  }
};

QTEST_MAIN(QuitSignalsTest)
#include "quit_signals_test.moc"
