#include "ui/native_window.h"

namespace tolvane {

bool AddSystemMenuEntry(QWidget&, const QString&) { return false; }

NativeWindowEvent ClassifyNativeEvent(const QByteArray&, void*) { return NativeWindowEvent::None; }

}  // namespace tolvane
