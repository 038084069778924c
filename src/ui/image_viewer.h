// Draws the dump of one image into the view pane: the composed text in an
// 11-point monospace face, every word and region byte in which the file image
// and the device image differ in bold blue.
#pragma once

#include <QTextCharFormat>
#include <optional>
#include <string_view>

#include "image/dump_composer.h"
#include "image/firmware_image.h"

namespace tolvane {

class RichPane;

QTextCharFormat DumpBaseFormat();      // Courier New 11 pt (or the closest monospace), black
QTextCharFormat DumpMismatchFormat();  // bold, RGB(0, 0, 255)

// Replaces the pane's whole content with the dump of `shown`, marked where
// `file` and `device` differ. The pane is not repainted until it is done.
void RenderImage(RichPane& pane, DumpComposer& composer, const FirmwareImage& shown, const FirmwareImage& file,
                 const FirmwareImage& device);

// The start of the next marked (mismatching) passage after `from`, or of the
// previous one before it when backwards; nothing when there is none.
std::optional<int> FindMismatch(const RichPane& pane, int from, bool backwards);

// The pane keeps a "\r\n" line end as one position; this maps positions in
// composed text (where it is two characters) to the pane's. Positions must be
// asked for in ascending order.
class LineEndMapper {
 public:
  explicit LineEndMapper(std::string_view text) : m_Text(text) {}
  int32_t Map(int32_t composed);

 private:
  std::string_view m_Text;
  int32_t m_Scanned = 0;    // composed characters looked at so far
  int32_t m_Collapsed = 0;  // line ends among them
};

}  // namespace tolvane
