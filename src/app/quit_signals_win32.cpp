#include "app/quit_signals.h"

namespace tolvane {

// A window program on Windows gets no console signals; the session's end
// reaches it as a close of its windows, and the ports go back as they close.
void CatchQuitSignals(std::function<void()>) {}

}  // namespace tolvane
