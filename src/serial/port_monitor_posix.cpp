// Arrival and removal of ttys from a udev monitor.
#include "serial/device_change.h"

#include <libudev.h>
#include <unistd.h>

#include <cstring>

namespace tolvane {

struct OPortMonitor::Impl {
  udev* Udev = nullptr;
  udev_monitor* Monitor = nullptr;
};

OPortMonitor::OPortMonitor() : m_Impl(std::make_unique<Impl>()) {
  m_Impl->Udev = udev_new();
  if (m_Impl->Udev == nullptr) return;
  // Events processed by the udev daemon carry its names; where no daemon
  // runs (containers) the kernel's own events are all there is.
  const char* source = ::access("/run/udev/control", F_OK) == 0 ? "udev" : "kernel";
  udev_monitor* monitor = udev_monitor_new_from_netlink(m_Impl->Udev, source);
  if (monitor == nullptr) return;
  if (udev_monitor_filter_add_match_subsystem_devtype(monitor, "tty", nullptr) < 0 ||
      udev_monitor_enable_receiving(monitor) < 0) {
    udev_monitor_unref(monitor);
    return;
  }
  m_Impl->Monitor = monitor;
}

OPortMonitor::~OPortMonitor() {
  if (m_Impl->Monitor != nullptr) udev_monitor_unref(m_Impl->Monitor);
  if (m_Impl->Udev != nullptr) udev_unref(m_Impl->Udev);
}

int OPortMonitor::Fd() const { return m_Impl->Monitor != nullptr ? udev_monitor_get_fd(m_Impl->Monitor) : -1; }

bool OPortMonitor::Receive(DeviceChange& change) {
  if (m_Impl->Monitor == nullptr) return false;
  udev_device* dev = udev_monitor_receive_device(m_Impl->Monitor);
  if (dev == nullptr) return false;
  const char* action = udev_device_get_action(dev);
  change.Kind = DeviceKind::Port;
  if (action != nullptr && std::strcmp(action, "add") == 0)
    change.Event = DeviceEvent::Arrival;
  else if (action != nullptr && std::strcmp(action, "remove") == 0)
    change.Event = DeviceEvent::RemoveComplete;
  else
    change.Event = DeviceEvent::Other;
  udev_device_unref(dev);
  return true;
}

}  // namespace tolvane
