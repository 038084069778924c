// The trace in a window of its own beside the main window, in the console's
// colours. Lines may come from any thread; they are shown on the window's.
#pragma once

#include <QColor>
#include <QRect>
#include <QPlainTextEdit>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "log/console_log.h"

namespace tolvane {

// The sixteen console colours; a colour number's low nibble is the text
// colour, the next nibble the background.
QColor ConsoleColor(int index);

// Where the log window stands beside the main window (frame rectangles):
// right of it, else left of it, where it fits on the screen; where neither
// side has room, against the side with more and narrowed to it when that
// leaves a useful width, else where it covers the least.
QRect LogWindowPlace(const QRect& main, const QSize& log, const QRect& screen);

class LogWindow : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit LogWindow(QWidget* parent = nullptr);
  // Detaches from the log first, so no line arrives at a window being destroyed.
  ~LogWindow() override;

  // Starts receiving the lines of Log().
  void Attach();

  // Queues a finished line for display; safe from any thread. While the
  // window's thread is busy (a long load), no more lines wait than the
  // window keeps: older ones are counted, not kept, and the count is shown.
  using Line = std::vector<std::pair<int, std::string>>;
  void Post(Line line);

  // Lines kept; older ones scroll away.
  static constexpr int kMaxLines = 20000;

  // Whether new lines are followed: until the user scrolls up, and again
  // once the user is back at the end.
  bool Following() const { return m_Follow; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void ShowPending();
  void FollowIfAtEnd();
  void ScrollToEnd();

  std::shared_ptr<LogSink> m_Sink;
  std::mutex m_Mutex;
  std::deque<Line> m_Pending;
  int64_t m_LeftOut = 0;  // lines that never waited, for want of room
  bool m_FlushQueued = false;
  bool m_Follow = true;
};

}  // namespace tolvane
