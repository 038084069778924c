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
  // Why the trace could not (all) be written to the log file; empty while it could.
  std::string FileFailure() const { return m_File ? m_File->Failure() : std::string(); }

 private:
  std::vector<std::shared_ptr<LogSink>> m_Sinks;
  std::shared_ptr<FileSink> m_File;
  bool m_Ok = true;
};

}  // namespace tolvane::cli
