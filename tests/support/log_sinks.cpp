#include "log_sinks.h"

namespace tolvane::test {

void CaptureSink::WriteLine(std::span<const LogSpan> spans) {
  std::lock_guard lock(m_Mutex);
  for (const LogSpan& span : spans) {
    if (!m_Spans.empty() && m_Spans.back().first == span.color)
      m_Spans.back().second.append(span.text);
    else
      m_Spans.emplace_back(span.color, std::string(span.text));
  }
}

std::string CaptureSink::Text() const {
  std::lock_guard lock(m_Mutex);
  std::string all;
  for (const auto& span : m_Spans) all += span.second;
  return all;
}

std::vector<std::pair<int, std::string>> CaptureSink::Spans() const {
  std::lock_guard lock(m_Mutex);
  return m_Spans;
}

void CaptureSink::Clear() {
  std::lock_guard lock(m_Mutex);
  m_Spans.clear();
}

}  // namespace tolvane::test
