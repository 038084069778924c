// The program's two icons, drawn in code at every size they are shown in:
// the program icon (window, task bar, desktop entry, about box) and the second
// icon of the about box.
#pragma once

#include <QIcon>
#include <QImage>
#include <array>

namespace tolvane {

inline constexpr std::array<int, 6> kIconSizes{8, 16, 32, 48, 64, 128};

// A cardiograph trace over a microcontroller on a blue tile.
QImage DrawProgramIcon(int size);
// A memory card with a heart on it.
QImage DrawCardIcon(int size);

QIcon ProgramIcon();
QIcon CardIcon();

}  // namespace tolvane
