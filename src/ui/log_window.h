// The trace in a window of its own beside the main window, in the console's
// colours. Lines may come from any thread; they are shown on the window's.
#pragma once

#include <QColor>
#include <QPlainTextEdit>
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

class LogWindow : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit LogWindow(QWidget* parent = nullptr);
  // Detaches from the log first, so no line arrives at a window being destroyed.
  ~LogWindow() override;

  // Starts receiving the lines of Log().
  void Attach();

  // Queues a finished line for display; safe from any thread.
  using Line = std::vector<std::pair<int, std::string>>;
  void Post(Line line);

  // Lines kept; older ones scroll away.
  static constexpr int kMaxLines = 20000;

 private:
  void ShowPending();

  std::shared_ptr<LogSink> m_Sink;
  std::mutex m_Mutex;
  std::vector<Line> m_Pending;
  bool m_FlushQueued = false;
};

}  // namespace tolvane
