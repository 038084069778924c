// Writes the program icon as PNG files of the sizes the desktop asks for:
// icon_writer DIR SIZE... makes DIR/SIZExSIZE/tolvane.png.
#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "ui/program_icons.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QStringList args = QGuiApplication::arguments();
  if (args.size() < 3) {
    std::fprintf(stderr, "usage: icon_writer DIR SIZE...\n");
    return 2;
  }
  QDir root(args[1]);
  for (const QString& arg : args.mid(2)) {
    bool ok = false;
    int size = arg.toInt(&ok);
    if (!ok || size <= 0) {
      std::fprintf(stderr, "bad size: %s\n", qPrintable(arg));
      return 2;
    }
    QString folder = QStringLiteral("%1x%1").arg(size);
    if (!root.mkpath(folder) || !tolvane::DrawProgramIcon(size).save(root.filePath(folder + "/tolvane.png"))) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(root.filePath(folder)));
      return 1;
    }
  }
  return 0;
}
