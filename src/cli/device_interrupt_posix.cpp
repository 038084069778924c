#include "device_interrupt.h"

#include <csignal>

namespace tolvane::cli {
namespace {

extern "C" void OnInterrupt(int number) {
  if (NoteInterrupt()) {
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

}  // namespace tolvane::cli
