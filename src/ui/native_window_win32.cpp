#include "ui/native_window.h"

#include <QWidget>

#include <windows.h>
#include <dbt.h>

namespace tolvane {

bool AddSystemMenuEntry(QWidget& window, const QString& text) {
  HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(window.winId()), FALSE);
  if (menu == nullptr || text.isEmpty()) return false;
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, kAboutCommand, reinterpret_cast<const wchar_t*>(text.utf16()));
  return true;
}

NativeWindowEvent ClassifyNativeEvent(const QByteArray& eventType, void* message) {
  if (eventType != "windows_generic_MSG" || message == nullptr) return NativeWindowEvent::None;
  const MSG& msg = *static_cast<const MSG*>(message);
  if (msg.message == WM_SYSCOMMAND && (msg.wParam & 0xFFF0) == kAboutCommand) return NativeWindowEvent::AboutCommand;
  if (msg.message == WM_DEVICECHANGE) {
    const bool portEvent = msg.wParam == DBT_DEVICEARRIVAL || msg.wParam == DBT_DEVICEREMOVEPENDING ||
                           msg.wParam == DBT_DEVICEREMOVECOMPLETE;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(msg.lParam);
    if (portEvent && header != nullptr && header->dbch_devicetype == DBT_DEVTYP_PORT)
      return NativeWindowEvent::PortsChanged;
  }
  return NativeWindowEvent::None;
}

}  // namespace tolvane
