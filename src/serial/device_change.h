// Arrival and removal of devices, as the port selector follows them. Linux
// reads them from a udev monitor whose descriptor the window watches; Windows
// maps WM_DEVICECHANGE (device_change_win32.h).
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

// The Windows broadcast's codes: DBT_DEVICEARRIVAL, DBT_DEVICEREMOVEPENDING,
// DBT_DEVICEREMOVECOMPLETE and the header's DBT_DEVTYP_PORT.
DeviceChange DeviceChangeFromCodes(uint32_t event, uint32_t deviceType);

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
