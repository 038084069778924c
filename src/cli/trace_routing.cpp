#include "trace_routing.h"

namespace tolvane::cli {

TraceRouting::TraceRouting(bool toTerminal, const std::string& logFile) {
  if (toTerminal) m_Sinks.push_back(std::make_shared<TerminalSink>(TerminalWantsColor()));
  if (!logFile.empty()) {
    auto file = std::make_shared<FileSink>(logFile);
    if (file->IsOpen()) {
      m_Sinks.push_back(file);
      m_File = file;
    } else {
      m_Ok = false;
    }
  }
  for (auto& sink : m_Sinks) Log().AddSink(sink);
}

TraceRouting::~TraceRouting() {
  Log().Flush();
  for (auto& sink : m_Sinks) Log().RemoveSink(sink);
}

}  // namespace tolvane::cli
