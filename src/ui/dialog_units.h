// Dialog units: the window layouts are given in them, a quarter of the average
// character width across and an eighth of the character height down, so that
// the windows scale with their font.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace tolvane {

struct DlgRect {
  int X;
  int Y;
  int W;
  int H;
};

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  QRect Rect(const DlgRect& r) const;
  QSize Size(int w, int h) const;

 private:
  int X(int units) const;
  int Y(int units) const;
  double m_CharWidth;
  double m_CharHeight;
};

// The dialogs' font: "MS Sans Serif" 8 pt where present, else a sans serif.
QFont DialogFont();

}  // namespace tolvane
