// Arrival and removal of devices, as the port selector follows them. Linux
// reads them from a udev monitor whose descriptor the window watches; Windows
// broadcasts WM_DEVICECHANGE to the window instead.
#pragma once

#include <cstdint>
#include <memory>

namespace tolvane {

enum class DeviceEvent { Arrival, RemovePending, RemoveComplete, Other };
enum class DeviceKind { Port, Other };

struct DeviceChange {
  DeviceEvent Event = DeviceEvent::Other;
  DeviceKind Kind = DeviceKind::Other;
};

// Notifications of serial ports coming and going. Where the system offers
// no descriptor (Windows), Fd() is -1 and Receive finds nothing.
class OPortMonitor {
 public:
  OPortMonitor();
  ~OPortMonitor();
  OPortMonitor(const OPortMonitor&) = delete;
  OPortMonitor& operator=(const OPortMonitor&) = delete;

  int Fd() const;
  // Takes one pending notification without waiting; false when none is there.
  bool Receive(DeviceChange& change);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_Impl;
};

}  // namespace tolvane
