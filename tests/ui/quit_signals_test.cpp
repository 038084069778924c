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
      SimulatedDevice device;
      std::string error;
      QVERIFY2(device.Start(&error), error.c_str());
      const int fd = open(device.PortPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      termios found{};
      QVERIFY(fd >= 0 && tcgetattr(fd, &found) == 0);
      QTemporaryDir home;
      // The port is remembered, so the window opens it as it starts.
      QDir(home.path()).mkpath(QStringLiteral("Quendal/Brasko_SD_Velm"));
      QFile ini(home.filePath(QStringLiteral("Quendal/Brasko_SD_Velm/Velm_SD_2017.conf")));
      QVERIFY(ini.open(QIODevice::WriteOnly));
      ini.write("[OSerialPortSelector]\nm_PortSelect_0=" + QByteArray::fromStdString(device.PortPath()) + "\n");
      ini.close();
      QProcess program;
      QVERIFY(
          test::StartGui(program, home.path(), {QStringLiteral("--port"), QString::fromStdString(device.PortPath())}));
      const QByteArray log = test::GuiTraceUntil(program, "Speed = 57600");
      QVERIFY2(log.contains("Speed = 57600"), log.constData());
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
  }
};

QTEST_MAIN(QuitSignalsTest)
#include "quit_signals_test.moc"
