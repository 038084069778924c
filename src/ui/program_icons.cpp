#include "ui/program_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>

namespace tolvane {

namespace {

QImage Blank(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

// The trace: flat, a small wave, the tall spike, a dip, flat again; in units
// of a 16 x 16 grid.
QPainterPath TracePath(double unit) {
  QPainterPath path;
  path.moveTo(1.5 * unit, 9 * unit);
  path.lineTo(4.5 * unit, 9 * unit);
  path.lineTo(5.5 * unit, 7.5 * unit);
  path.lineTo(6.5 * unit, 9 * unit);
  path.lineTo(7.5 * unit, 9 * unit);
  path.lineTo(8.5 * unit, 2.5 * unit);
  path.lineTo(9.5 * unit, 12 * unit);
  path.lineTo(10.5 * unit, 9 * unit);
  path.lineTo(14.5 * unit, 9 * unit);
  return path;
}

QIcon IconOf(QImage (*draw)(int)) {
  QIcon icon;
  for (int size : kIconSizes) icon.addPixmap(QPixmap::fromImage(draw(size)));
  return icon;
}

}  // namespace

QImage DrawProgramIcon(int size) {
  QImage image = Blank(size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  double unit = size / 16.0;
  // Tile.
  QLinearGradient tile(0, 0, 0, size);
  tile.setColorAt(0, QColor(0x1e, 0x5a, 0xb4));
  tile.setColorAt(1, QColor(0x0c, 0x2a, 0x6a));
  p.setPen(Qt::NoPen);
  p.setBrush(tile);
  p.drawRoundedRect(QRectF(0.25 * unit, 0.25 * unit, 15.5 * unit, 15.5 * unit), 3 * unit, 3 * unit);
  // The chip at the bottom, with its legs (left out where they would blur).
  QRectF chip(4 * unit, 11 * unit, 8 * unit, 3.5 * unit);
  if (size >= 32) {
    p.setBrush(QColor(0xc8, 0xd0, 0xdc));
    for (int leg = 0; leg < 4; ++leg) {
      double x = chip.left() + (1.0 + 2.0 * leg) * unit;
      p.drawRect(QRectF(x - 0.3 * unit, chip.bottom(), 0.6 * unit, 1.0 * unit));
    }
  }
  p.setBrush(QColor(0x20, 0x20, 0x28));
  p.drawRoundedRect(chip, 0.6 * unit, 0.6 * unit);
  // The trace.
  QPen pen(QColor(0x6c, 0xf0, 0x8c));
  pen.setWidthF(std::max(1.0, 1.3 * unit));
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  p.drawPath(TracePath(unit));
  return image;
}

QImage DrawCardIcon(int size) {
  QImage image = Blank(size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  double unit = size / 16.0;
  // Card outline with the cut corner.
  QPainterPath card;
  card.moveTo(3 * unit, 1 * unit);
  card.lineTo(10.5 * unit, 1 * unit);
  card.lineTo(13 * unit, 3.5 * unit);
  card.lineTo(13 * unit, 15 * unit);
  card.lineTo(3 * unit, 15 * unit);
  card.closeSubpath();
  p.setPen(QPen(QColor(0x30, 0x30, 0x30), std::max(1.0, 0.6 * unit)));
  p.setBrush(QColor(0x3a, 0x3f, 0x4a));
  p.drawPath(card);
  // Contacts.
  if (size >= 16) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xe8, 0xc0, 0x40));
    for (int c = 0; c < 4; ++c) p.drawRect(QRectF((4 + 2 * c) * unit, 2 * unit, 1.2 * unit, 2.5 * unit));
  }
  // Heart.
  QPainterPath heart;
  double cx = 8 * unit;
  double cy = 9 * unit;
  heart.moveTo(cx, cy + 4 * unit);
  heart.cubicTo(cx - 5 * unit, cy + 0.5 * unit, cx - 3 * unit, cy - 3.5 * unit, cx, cy - 1 * unit);
  heart.cubicTo(cx + 3 * unit, cy - 3.5 * unit, cx + 5 * unit, cy + 0.5 * unit, cx, cy + 4 * unit);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xe0, 0x30, 0x40));
  p.drawPath(heart);
  return image;
}

QIcon ProgramIcon() {
  static const QIcon icon = IconOf(DrawProgramIcon);
  return icon;
}

QIcon CardIcon() {
  static const QIcon icon = IconOf(DrawCardIcon);
  return icon;
}

}  // namespace tolvane
