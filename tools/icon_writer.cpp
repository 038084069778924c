// Writes the program's icons as files:
//   icon_writer DIR SIZE...        DIR/SIZExSIZE/tolvane.png (the desktop's icon theme)
//   icon_writer --ico FILE NAME    FILE as a Windows icon of all the sizes it is
//                                  drawn in; NAME: program or card
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>

#include "ui/program_icons.h"

namespace {

void PutLe(QByteArray& out, quint32 value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// An .ico file whose images are PNG data, one per size, as Windows reads them.
bool WriteIco(const QString& path, QImage (*draw)(int)) {
  QList<QByteArray> images;
  for (int size : tolvane::kIconSizes) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!draw(size).save(&buffer, "PNG")) return false;
    images.append(png);
  }
  QByteArray out;
  PutLe(out, 0, 2);  // reserved
  PutLe(out, 1, 2);  // an icon, not a cursor
  PutLe(out, static_cast<quint32>(images.size()), 2);
  quint32 offset = 6 + 16 * static_cast<quint32>(images.size());
  for (size_t i = 0; i < tolvane::kIconSizes.size(); ++i) {
    const int size = tolvane::kIconSizes[i];
    const QByteArray& png = images[static_cast<qsizetype>(i)];
    PutLe(out, static_cast<quint32>(size >= 256 ? 0 : size), 1);  // width, height
    PutLe(out, static_cast<quint32>(size >= 256 ? 0 : size), 1);
    PutLe(out, 0, 1);   // no palette
    PutLe(out, 0, 1);   // reserved
    PutLe(out, 1, 2);   // planes
    PutLe(out, 32, 2);  // bits per pixel
    PutLe(out, static_cast<quint32>(png.size()), 4);
    PutLe(out, offset, 4);
    offset += static_cast<quint32>(png.size());
  }
  for (const QByteArray& png : images) out.append(png);
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

int WritePngs(const QStringList& args) {
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

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QStringList args = QGuiApplication::arguments();
  if (args.size() == 4 && args[1] == QLatin1String("--ico")) {
    QImage (*draw)(int) = args[3] == QLatin1String("card") ? tolvane::DrawCardIcon : tolvane::DrawProgramIcon;
    if (args[3] != QLatin1String("card") && args[3] != QLatin1String("program")) {
      std::fprintf(stderr, "unknown icon: %s\n", qPrintable(args[3]));
      return 2;
    }
    if (!WriteIco(args[2], draw)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(args[2]));
      return 1;
    }
    return 0;
  }
  if (args.size() < 3) {
    std::fprintf(stderr, "usage: icon_writer DIR SIZE... | icon_writer --ico FILE program|card\n");
    return 2;
  }
  return WritePngs(args);
}
