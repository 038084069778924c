// The main window's share of the system's own window messages: on Windows the
// about entry of the system menu and the broadcasts of ports coming and going
// (WM_DEVICECHANGE); elsewhere there are none, and the port list follows the
// system through its own notifications (PortListBinding).
#pragma once

#include <QByteArray>
#include <QString>

class QWidget;

namespace tolvane {

// The system-menu command that opens the about box; the system uses the low
// four bits, so every command from 16 to 31 means it.
inline constexpr unsigned kAboutCommand = 16;
// The text of that entry (also on the panes' context menus).
inline constexpr const char* kAboutMenuText = "&О программе Tolvane...";

// Appends a separator and an entry with this text and kAboutCommand to the
// window's system menu, where the system has one. False when it has none.
bool AddSystemMenuEntry(QWidget& window, const QString& text);

enum class NativeWindowEvent { None, AboutCommand, PortsChanged };

// What a message from QWidget::nativeEvent means to the window.
NativeWindowEvent ClassifyNativeEvent(const QByteArray& eventType, void* message);

}  // namespace tolvane
