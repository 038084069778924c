// Log sinks for tests, benchmarks and the fuzz target.
#pragma once

#include "log/console_log.h"

#include <mutex>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace tolvane::test {

// Keeps the text of everything written, span by span with its colour.
class CaptureSink : public LogSink {
 public:
  void WriteLine(std::span<const LogSpan> spans) override;
  std::string Text() const;
  std::vector<std::pair<int, std::string>> Spans() const;
  void Clear();

 private:
  mutable std::mutex m_Mutex;
  std::vector<std::pair<int, std::string>> m_Spans;
};

// Drops everything (benchmarks measure the cost of producing the trace).
class NullSink : public LogSink {
 public:
  void WriteLine(std::span<const LogSpan>) override {}
};

}  // namespace tolvane::test
