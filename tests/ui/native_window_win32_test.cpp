// The system's window messages the main window acts on (Windows only).
#include "ui/native_window.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>

namespace tolvane {
namespace {

NativeWindowEvent Classify(UINT message, WPARAM wParam, LPARAM lParam = 0) {
  MSG msg{};
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  return ClassifyNativeEvent("windows_generic_MSG", &msg);
}

TEST(NativeWindow, SystemCommandsSixteenToThirtyOneOpenTheAboutBoxOthersKeepTheirEffect) {
  for (WPARAM id = 16; id <= 31; ++id) EXPECT_EQ(Classify(WM_SYSCOMMAND, id), NativeWindowEvent::AboutCommand) << id;
  for (WPARAM id : {WPARAM{15}, WPARAM{32}, WPARAM{SC_CLOSE}, WPARAM{SC_MINIMIZE}, WPARAM{SC_MOVE}})
    EXPECT_EQ(Classify(WM_SYSCOMMAND, id), NativeWindowEvent::None) << id;
  EXPECT_EQ(Classify(WM_COMMAND, 16), NativeWindowEvent::None);
}

TEST(NativeWindow, OnlyPortArrivalsAndRemovalsChangeThePortList) {
  DEV_BROADCAST_HDR port{};
  port.dbch_size = sizeof port;
  port.dbch_devicetype = DBT_DEVTYP_PORT;
  DEV_BROADCAST_HDR volume = port;
  volume.dbch_devicetype = DBT_DEVTYP_VOLUME;
  const auto at = [](DEV_BROADCAST_HDR& h) { return reinterpret_cast<LPARAM>(&h); };
  for (WPARAM event : {WPARAM{DBT_DEVICEARRIVAL}, WPARAM{DBT_DEVICEREMOVEPENDING}, WPARAM{DBT_DEVICEREMOVECOMPLETE}}) {
    EXPECT_EQ(Classify(WM_DEVICECHANGE, event, at(port)), NativeWindowEvent::PortsChanged) << event;
    EXPECT_EQ(Classify(WM_DEVICECHANGE, event, at(volume)), NativeWindowEvent::None) << event;
  }
  EXPECT_EQ(Classify(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED), NativeWindowEvent::None);
  EXPECT_EQ(ClassifyNativeEvent("xcb_generic_event_t", nullptr), NativeWindowEvent::None);
}

}  // namespace
}  // namespace tolvane
