#include "ui/image_viewer.h"

#include <QTextBlock>
#include <QTextDocument>

#include <QTextCursor>
#include <QTextDocument>

#include "ui/rich_pane.h"
#include "ui/rich_text.h"

namespace tolvane {

int32_t LineEndMapper::Map(int32_t composed) {
  for (; m_Scanned < composed; ++m_Scanned) {
    size_t i = static_cast<size_t>(m_Scanned);
    if (m_Text[i] == '\r' && i + 1 < m_Text.size() && m_Text[i + 1] == '\n') ++m_Collapsed;
  }
  return composed - m_Collapsed;
}

QTextCharFormat DumpBaseFormat() {
  QTextCharFormat format;
  format.setFontFamilies(
      {QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"), QStringLiteral("monospace")});
  format.setFontStyleHint(QFont::TypeWriter);
  format.setFontFixedPitch(true);
  format.setFontPointSize(11);
  format.setForeground(QColor(0, 0, 0));
  format.setFontWeight(QFont::Normal);
  return format;
}

QTextCharFormat DumpMismatchFormat() {
  QTextCharFormat format;
  format.setFontWeight(QFont::Bold);
  format.setForeground(QColor(0, 0, 255));
  return format;
}

namespace {

void MarkRuns(QTextDocument& document, int32_t origin, std::string_view text, std::span<const DumpRun> runs) {
  // Runs lie on text of the base format only: setting the whole merged
  // format is cheaper than merging into each character's.
  QTextCharFormat mismatch = DumpBaseFormat();
  mismatch.merge(DumpMismatchFormat());
  LineEndMapper mapper(text);
  QTextCursor cursor(&document);
  for (const DumpRun& run : runs) {
    int32_t begin = mapper.Map(run.Begin);
    int32_t end = mapper.Map(run.End);
    cursor.setPosition(origin + begin);
    cursor.setPosition(origin + end, QTextCursor::KeepAnchor);
    cursor.setCharFormat(mismatch);
  }
}

QString Latin(std::string_view text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

// Appends text at the end and returns where it starts, read back.
int32_t Append(QTextDocument& document, std::string_view text, const QTextCharFormat& format) {
  QTextCursor cursor(&document);
  cursor.movePosition(QTextCursor::End);
  int32_t start = cursor.position();
  cursor.insertText(Latin(text), format);
  return start;
}

}  // namespace

void RenderImage(RichPane& pane, DumpComposer& composer, const FirmwareImage& shown, const FirmwareImage& file,
                 const FirmwareImage& device) {
  composer.Compose(shown, file, device);
  const QTextCharFormat base = DumpBaseFormat();

  // The dump is built in a document of its own that no pane lays out yet,
  // then handed to the pane, which lays it out once.
  auto* document = new QTextDocument(&pane);
  document->setUndoRedoEnabled(false);
  document->setDefaultFont(base.font());
  int32_t flashStart = Append(*document, composer.FlashText(), base);
  MarkRuns(*document, flashStart, composer.FlashText(), composer.FlashRuns());
  int32_t regionStart = Append(*document, composer.RegionText(), base);
  MarkRuns(*document, regionStart, composer.RegionText(), composer.RegionRuns());

  pane.setUpdatesEnabled(false);
  pane.ReplaceDocument(document);
  pane.SetDefaultFormat(base);
  RichSelect(pane, 0, 0);
  pane.setUpdatesEnabled(true);
  pane.viewport()->update();
}

std::optional<int> FindMismatch(const RichPane& pane, int from, bool backwards) {
  const QColor blue = DumpMismatchFormat().foreground().color();
  std::optional<int> found;
  // Passages are the pane's fragments: a marked run is one fragment.
  for (QTextBlock block = pane.document()->begin(); block.isValid(); block = block.next()) {
    if (!backwards && block.position() + block.length() <= from) continue;
    if (backwards && block.position() >= from) break;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (fragment.charFormat().foreground().color() != blue) continue;
      const int at = fragment.position();
      if (!backwards && at > from) return at;
      if (backwards && at < from) found = at;
    }
  }
  return found;
}

}  // namespace tolvane
