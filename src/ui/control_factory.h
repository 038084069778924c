// One small factory per kind of the main window's controls: each makes its
// widget with the traits of its kind; the window places it by its template
// and wires its actions in one place of its own.
#pragma once

#include <QString>

#include "ui/main_window_layout.h"

class QWidget;

namespace tolvane {

struct MadeControl {
  QWidget* Widget = nullptr;
  bool TabStop = true;  // takes a place in the tab order
};

// The widget for a template, a child of parent; its rectangle in pixels is
// set too (a combo box's closed height, not its list's).
MadeControl MakeControl(const ControlTemplate& control, const DialogUnits& units, QWidget* parent);

}  // namespace tolvane
