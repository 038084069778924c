// The desktop program started as a user starts it, for the window tests that
// need a process of its own: on the offscreen platform, with a home (and
// settings) of its own, its trace gathered from stderr.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace tolvane::test {

// Starts the program with the arguments; true when it started.
inline bool StartGui(QProcess& program, const QString& home, const QStringList& arguments) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("HOME"), home);
  environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home);
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  program.setProcessEnvironment(environment);
  program.start(QStringLiteral(TOLVANE_GUI_PATH), arguments);
  return program.waitForStarted(10000);
}

// The trace the program has written, gathered until it holds `until` (at
// most about ten seconds).
inline QByteArray GuiTraceUntil(QProcess& program, const QByteArray& until) {
  QByteArray log;
  for (int i = 0; i < 100 && !log.contains(until); ++i) {
    program.waitForReadyRead(100);
    log += program.readAllStandardError();
  }
  return log;
}

}  // namespace tolvane::test
