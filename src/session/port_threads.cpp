#include "session/port_threads.h"

#include <thread>

#include "log/console_log.h"

namespace tolvane {

void ForEachPort(const std::vector<std::string>& labels, const std::function<void(size_t index)>& work) {
  const bool several = labels.size() > 1;
  auto serve = [&](size_t i) {
    if (several) ConsoleLog::SetThreadPrefix(labels[i] + ": ");
    work(i);
    Log().Flush();
    ConsoleLog::SetThreadPrefix({});
  };
  if (!several) {
    if (!labels.empty()) serve(0);
    return;
  }
  std::vector<std::thread> threads;
  for (size_t i = 0; i < labels.size(); ++i) threads.emplace_back(serve, i);
  for (std::thread& thread : threads) thread.join();
}

}  // namespace tolvane
