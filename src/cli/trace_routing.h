// Where a command's trace goes: stderr (-v) and a file (--log), for as long
// as the routing lives.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "log/console_log.h"

namespace tolvane::cli {

class TraceRouting {
 public:
  // logFile empty: no file.
  TraceRouting(bool toTerminal, const std::string& logFile);
  ~TraceRouting();
  TraceRouting(const TraceRouting&) = delete;
  TraceRouting& operator=(const TraceRouting&) = delete;
  // False when the log file could not be opened.
  bool Ok() const { return m_Ok; }

 private:
  std::vector<std::shared_ptr<LogSink>> m_Sinks;
  bool m_Ok = true;
};

}  // namespace tolvane::cli
