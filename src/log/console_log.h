// The diagnostic trace that every subsystem writes to.
//
// Insertions chain: Log().Text("Speed = ").ULong(57600).Text("\n"). Each thread
// assembles its own line and hands it to the sinks whole when the line ends, so
// lines written from several threads never interleave inside one line. While
// no sink is attached, insertions do nothing: nobody would read the text.
// The log itself never fails: a sink that cannot write drops the text.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// Colour numbers of the trace: low nibble foreground, next nibble background.
inline constexpr int kColorNormal = 7;    // light grey: normal text
inline constexpr int kColorBanner = 11;   // light cyan: banners, region records
inline constexpr int kColorWarning = 12;  // light red: warnings
inline constexpr int kColorAddress = 14;  // yellow: extended-address records

// A piece of a line in one colour.
struct LogSpan {
  int color;
  std::string_view text;
};

// Receives finished lines, one at a time (the last span ends with '\n' unless
// the line was flushed early). Called with the log's lock held: keep it short, never
// log.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void WriteLine(std::span<const LogSpan> spans) = 0;
};

class ConsoleLog {
 public:
  ConsoleLog& Text(std::string_view text);
  ConsoleLog& Dec(int32_t value);        // "%d"
  ConsoleLog& Unsigned(uint32_t value);  // "%u"
  ConsoleLog& ULong(uint32_t value);     // "%lu"
  ConsoleLog& Hex(uint32_t value);       // "%X"
  ConsoleLog& Float(double value);       // "%f"
  ConsoleLog& SetColor(int color);

  // Hands the calling thread's unfinished line to the sinks now.
  void Flush();

  // A text put before every line of the calling thread (for instance a port
  // name when several devices are programmed at once). Empty: none.
  static void SetThreadPrefix(std::string prefix);

  void AddSink(std::shared_ptr<LogSink> sink);
  void RemoveSink(const std::shared_ptr<LogSink>& sink);
  void RemoveAllSinks();

 private:
  void Emit(bool flushing);
  void Deliver(std::span<const LogSpan> spans);

  std::mutex m_Mutex;
  std::vector<std::shared_ptr<LogSink>> m_Sinks;
  std::atomic<bool> m_Listened{false};  // some sink is attached
};

// The one log of the process.
ConsoleLog& Log();

// Sinks ------------------------------------------------------------------

// Writes to stderr; with ANSI colours when asked (see TerminalWantsColor).
class TerminalSink : public LogSink {
 public:
  explicit TerminalSink(bool color);
  void WriteLine(std::span<const LogSpan> spans) override;

 private:
  bool m_Color;
  std::string m_Buffer;
};

// True when the stream is a terminal and NO_COLOR is not set: colours and
// marks are for people, not for files and pipes.
bool TerminalWantsColor(std::FILE* stream = stderr);

// Appends plain text to a file. A write that fails (a full disk) is kept as
// the sink's error, so that losing the trace is never silent. Only a regular
// file is opened: a pipe or a device would block or swallow the trace.
class FileSink : public LogSink {
 public:
  explicit FileSink(const std::string& path);
  ~FileSink() override;
  bool IsOpen() const { return m_File != nullptr; }
  void WriteLine(std::span<const LogSpan> spans) override;
  // The system's reason for the first line that could not be written; empty
  // while every line was.
  std::string Failure() const;

 private:
  std::FILE* m_File = nullptr;
  int m_Error = 0;  // errno of the first failed write
  int m_Open = 0;   // errno of a failed open
};

}  // namespace tolvane
