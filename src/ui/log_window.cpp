#include "ui/log_window.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <array>
#include <string>
#include <utility>

namespace tolvane {

namespace {

class LogWindowSink : public LogSink {
 public:
  explicit LogWindowSink(LogWindow* window) : m_Window(window) {}
  void WriteLine(std::span<const LogSpan> spans) override {
    LogWindow::Line line;
    line.reserve(spans.size());
    for (const LogSpan& span : spans) line.emplace_back(span.color, std::string(span.text));
    m_Window->Post(std::move(line));
  }

 private:
  LogWindow* m_Window;
};

}  // namespace

QColor ConsoleColor(int index) {
  static constexpr std::array<QRgb, 16> kPalette{0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                                                 0x808000, 0xc0c0c0, 0x808080, 0x0000ff, 0x00ff00, 0x00ffff,
                                                 0xff0000, 0xff00ff, 0xffff00, 0xffffff};
  return QColor(kPalette[static_cast<size_t>(index & 15)]);
}

QRect LogWindowPlace(const QRect& main, const QSize& log, const QRect& screen) {
  QRect place(QPoint(main.right() + 1, main.top()), QSize(log.width(), main.height()));
  if (!screen.isValid()) return place;
  const int right = screen.right() - main.right();  // room beside each side
  const int left = main.left() - screen.left();
  if (right >= log.width()) return place;
  if (left >= log.width()) {
    place.moveLeft(main.left() - log.width());
    return place;
  }
  // Narrower than it would be, a log window is still readable down to this.
  constexpr int kNarrowest = 320;
  const bool toRight = right >= left;
  const int room = toRight ? right : left;
  if (room >= kNarrowest) {
    place.setWidth(room);
    place.moveLeft(toRight ? main.right() + 1 : screen.left());
    return place;
  }
  // Against the screen's edge on the roomier side: it covers the least there.
  place.moveLeft(toRight ? screen.right() - log.width() + 1 : screen.left());
  return place;
}

LogWindow::LogWindow(QWidget* parent) : QPlainTextEdit(parent) {
  setWindowTitle(QStringLiteral("Tolvane — журнал"));
  setReadOnly(true);
  setUndoRedoEnabled(false);
  setMaximumBlockCount(kMaxLines);
  // Beside the main window on a small screen it is narrow: long lines wrap
  // rather than run out of sight.
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  QFont font(QStringLiteral("Monospace"));
  font.setStyleHint(QFont::TypeWriter);
  font.setPointSize(9);
  setFont(font);
  QPalette p = palette();
  p.setColor(QPalette::Base, ConsoleColor(0));
  p.setColor(QPalette::Text, ConsoleColor(kColorNormal));
  setPalette(p);
  resize(640, 480);
  // The end is followed as the document grows, also when its layout catches
  // up later than the lines came; what the user does with the scroll bar
  // decides whether it still is.
  QScrollBar* bar = verticalScrollBar();
  connect(bar, &QScrollBar::rangeChanged, this, [this] {
    if (m_Follow) ScrollToEnd();
  });
  connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar] {
    // Emitted before the value moves: the slider's position is where it goes.
    m_Follow = bar->sliderPosition() >= bar->maximum();
  });
  connect(bar, &QAbstractSlider::sliderReleased, this, [this] { FollowIfAtEnd(); });
}

void LogWindow::FollowIfAtEnd() {
  QScrollBar* bar = verticalScrollBar();
  m_Follow = bar->value() >= bar->maximum();
}

void LogWindow::ScrollToEnd() {
  QScrollBar* bar = verticalScrollBar();
  bar->setValue(bar->maximum());
}

// Keys and the wheel that moved the view decide anew; others (a copy) do not.
void LogWindow::keyPressEvent(QKeyEvent* event) {
  const int before = verticalScrollBar()->value();
  QPlainTextEdit::keyPressEvent(event);
  if (verticalScrollBar()->value() != before) FollowIfAtEnd();
}

void LogWindow::wheelEvent(QWheelEvent* event) {
  const int before = verticalScrollBar()->value();
  QPlainTextEdit::wheelEvent(event);
  if (verticalScrollBar()->value() != before) FollowIfAtEnd();
}

LogWindow::~LogWindow() {
  if (m_Sink) Log().RemoveSink(m_Sink);
}

void LogWindow::Attach() {
  if (m_Sink) return;
  m_Sink = std::make_shared<LogWindowSink>(this);
  Log().AddSink(m_Sink);
}

void LogWindow::Post(Line line) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  if (m_Pending.size() >= static_cast<size_t>(kMaxLines)) {
    m_Pending.pop_front();
    ++m_LeftOut;
  }
  m_Pending.push_back(std::move(line));
  if (m_FlushQueued) return;
  m_FlushQueued = true;
  QMetaObject::invokeMethod(this, &LogWindow::ShowPending, Qt::QueuedConnection);
}

void LogWindow::ShowPending() {
  std::deque<Line> lines;
  int64_t leftOut = 0;
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    lines.swap(m_Pending);
    leftOut = std::exchange(m_LeftOut, 0);
    m_FlushQueued = false;
  }
  if (leftOut > 0) {
    // Said where the lines would have stood; the terminal and a log file have them all.
    lines.push_front(Line{{kColorWarning, "... строк журнала пропущено: " + std::to_string(leftOut) + " ...\n"}});
    if (lines.size() > static_cast<size_t>(kMaxLines)) lines.erase(lines.begin() + 1);
  }
  QTextCursor cursor(document());
  cursor.beginEditBlock();
  cursor.movePosition(QTextCursor::End);
  for (const Line& line : lines) {
    for (const auto& [color, text] : line) {
      QTextCharFormat format;
      format.setForeground(ConsoleColor(color));
      format.setBackground(ConsoleColor(color >> 4));
      QString piece = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
      // A line's own end becomes a paragraph; the document always ends in an
      // open paragraph that the next line fills.
      cursor.insertText(piece, format);
    }
  }
  cursor.endEditBlock();
  if (m_Follow) ScrollToEnd();
}

}  // namespace tolvane
