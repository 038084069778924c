// Building formatted text in a pane: every piece is appended at the end, the
// append returns where the piece starts (read back from the pane), and ranges
// between two such positions are then formatted.
#pragma once

#include <QString>
#include <QTextCharFormat>
#include <string_view>

namespace tolvane {

class RichPane;

// Appends text at the very end of the pane in the pane's default format and
// returns the position at which it starts. Web addresses in the text become
// links when the pane has links enabled.
int RichAppendText(RichPane& pane, const QString& text);

// The selected text; line ends come back as "\r\n".
QString RichGetSelText(const RichPane& pane);

// Turns on link notifications and automatic address detection.
void RichEnableLinks(RichPane& pane);

// Selects begin..end and gives it the link effect; the selection stays.
void RichMakeLink(RichPane& pane, int begin, int end);

// Selects begin..end and merges the format into the selected text.
void RichFormatRange(RichPane& pane, int begin, int end, const QTextCharFormat& format);

// Selects begin..end (the caret goes to end).
void RichSelect(RichPane& pane, int begin, int end);

// The bold format: bold on, nothing else.
QTextCharFormat BoldFormat();
// The link format: the link effect, drawn as links usually are.
QTextCharFormat LinkFormat();

// The pane's text length in its own positions.
int RichTextLength(const RichPane& pane);

}  // namespace tolvane
