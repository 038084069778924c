// Everything tolvane-cli says goes through here: results on stdout (the
// outcome, as the window would show it, and the lines about it; or a JSON
// document), messages on stderr (warnings and errors in colour on a
// terminal), and the progress line.
// What the streams are (a terminal, a console, a pipe) and whether NO_COLOR
// is set is decided once, at the first use. Text goes out as the reader's
// terminal shows it (UTF-16 to a Windows console).
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "session/run_reporter.h"

namespace tolvane::cli {

// A result on stdout, printf-style, or as it is.
void PrintResult(const char* format, ...);
void WriteResult(std::string_view text);
// The lines of a message (line ends "\r\n" or "\n"), each after the prefix,
// on stdout.
void PrintResultLines(const std::string& prefix, const std::string& text);
// With --json the results are one JSON document on stdout, and what would
// have been the human results goes to stderr.
void SetJsonOutput(bool on);
void WriteJson(const nlohmann::ordered_json& document);
// Every --json run prints one document: a command that ends before it
// wrote its own (a usage error, a file it could not read) gets
// {"error": ..., "exit_code": N}, the error being the first the command
// said. Nothing when a document was written.
void WriteJsonFailure(int exitCode);
// The error a failure document names when the command said it as results
// (a refused file's caption and text); an error message notes itself.
void NoteError(std::string_view text);
// A message on stderr, printf-style; its own line end included.
void PrintMessage(MessageLevel level, const char* format, ...);
void WriteMessage(MessageLevel level, std::string_view text);

// Whether a dump on stdout is marked in colour (a terminal, no NO_COLOR).
bool ResultColors();
// Whether the progress line is drawn (stderr is a terminal).
bool ProgressShown();

// A board of several lines redrawn in place on stderr (the station's):
// stderr is a terminal that takes control sequences, and its width.
bool StatusBoardShown();
int StatusColumns();
// Raw text on stderr (the board's control sequences included).
void WriteStatus(std::string_view text);

// Why stdout could not take everything (a closed pipe, a full disk); empty
// while it could.
std::string OutputFailure();

// The progress line of the device commands on stderr: blocks done of all,
// bytes per second on the wire and the time left, summed over every port.
class ProgressBoard {
 public:
  // A disabled board draws nothing (stderr is no terminal, or the trace is
  // on); without blocks to count it draws only a wait for the monitor.
  ProgressBoard(bool enabled, size_t ports, bool blocks = true);
  ~ProgressBoard() { Finish(); }

  // From any thread: a port's progress. Redraws at most ten times a second.
  void Update(size_t slot, const RunProgress& progress);
  // A port waits for its monitor this much longer (0: no more). False when
  // the board draws nothing, so the caller says it another way.
  bool Waiting(size_t slot, double secondsLeft);
  // Clears the line so that the results print on a clean one.
  void Finish();

  // The line's text for the sums given.
  static std::string Line(const RunProgress& sum, double seconds, size_t ports);

 private:
  using Clock = std::chrono::steady_clock;
  void Draw(const std::string& text);

  void Redraw(Clock::time_point now);

  bool m_Enabled;
  bool m_Blocks;
  bool m_Drawn = false;
  bool m_WasWaiting = false;
  std::vector<double> m_Waits;  // seconds left of each port's wait for the monitor (0: none)
  size_t m_DrawnWidth = 0;
  std::mutex m_Mutex;
  std::vector<RunProgress> m_Slots;
  Clock::time_point m_Start = Clock::now();
  Clock::time_point m_LastDraw{};
};

}  // namespace tolvane::cli
