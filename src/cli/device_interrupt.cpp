#include "device_interrupt.h"

#include <atomic>
#include <csignal>

namespace tolvane::cli {
namespace {

std::atomic<bool> g_Interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
  if (g_Interrupted.exchange(true)) {
    std::signal(SIGINT, SIG_DFL);
    std::raise(SIGINT);
    return;
  }
  std::signal(SIGINT, OnInterrupt);  // some systems reset the handler on delivery
}

}  // namespace

void CatchInterrupt() { std::signal(SIGINT, OnInterrupt); }
bool Interrupted() { return g_Interrupted.load(); }

}  // namespace tolvane::cli
