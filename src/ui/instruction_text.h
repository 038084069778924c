// The firmware-update instructions shown in the main window's view pane.
#pragma once

#include "session/window_texts.h"

#include <QTextCharFormat>

namespace tolvane {

class RichPane;

// 10-point black Times New Roman (or the closest serif); no other effect.
QTextCharFormat InstructionFormat();

// Replaces the pane's whole text with the instructions in the format and
// leaves the caret at the top.
void WriteInstructionText(RichPane& pane, const QTextCharFormat& format);

}  // namespace tolvane
