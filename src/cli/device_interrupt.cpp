#include "device_interrupt.h"

namespace tolvane::cli {
namespace {

std::atomic<bool> g_Interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace

bool NoteInterrupt() { return g_Interrupted.exchange(true); }

bool Interrupted() { return g_Interrupted.load(); }

const std::atomic<bool>& InterruptFlag() { return g_Interrupted; }

}  // namespace tolvane::cli
