#include "ui/dialog_units.h"

#include <QFontMetricsF>
#include <cmath>

namespace tolvane {

DialogUnits::DialogUnits(const QFont& font) {
  QFontMetricsF metrics(font);
  // The average width of the 52 Latin letters, as the dialog manager measures it.
  m_CharWidth =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
  m_CharHeight = metrics.height();
}

int DialogUnits::X(int units) const { return static_cast<int>(std::lround(units * m_CharWidth / 4.0)); }
int DialogUnits::Y(int units) const { return static_cast<int>(std::lround(units * m_CharHeight / 8.0)); }

QRect DialogUnits::Rect(const DlgRect& r) const {
  int left = X(r.X);
  int top = Y(r.Y);
  return QRect(left, top, X(r.X + r.W) - left, Y(r.Y + r.H) - top);
}

QSize DialogUnits::Size(int w, int h) const { return QSize(X(w), Y(h)); }

QFont DialogFont() {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  return font;
}

}  // namespace tolvane
