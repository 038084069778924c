#include "device_interrupt.h"

#include "serial/stop_request.h"

namespace tolvane::cli {
namespace {

OStopRequest g_Interrupt;

}  // namespace

bool NoteInterrupt() { return g_Interrupt.Note() == StopNote::Forced; }

bool Interrupted() { return g_Interrupt.Asked(); }

const std::atomic<bool>& InterruptFlag() { return g_Interrupt.Flag(); }

}  // namespace tolvane::cli
