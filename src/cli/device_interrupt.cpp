#include "device_interrupt.h"

#include <csignal>

namespace tolvane::cli {
namespace {

std::atomic<bool> g_Interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int number) {
  if (g_Interrupted.exchange(true)) {
    std::signal(number, SIG_DFL);
    std::raise(number);
    return;
  }
  std::signal(number, OnInterrupt);  // some systems reset the handler on delivery
}

}  // namespace

void CatchInterrupt() {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
}

bool Interrupted() { return g_Interrupted.load(); }

const std::atomic<bool>& InterruptFlag() { return g_Interrupted; }

}  // namespace tolvane::cli
