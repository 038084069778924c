// The present ports from the udev database: every device of the tty
// subsystem, filtered and named by ToPortRecord.
#include "serial/port_list.h"
#include "serial/udev_record.h"

#include <libudev.h>

namespace tolvane {
namespace {

std::string Text(const char* value) { return value ? value : ""; }

std::string Property(udev_device* dev, const char* key) { return Text(udev_device_get_property_value(dev, key)); }

// Properties of USB devices sit on the tty itself once udev has run; without
// a udev daemon they are only found on the ancestors.
std::string PropertyUpTheTree(udev_device* dev, const char* key) {
  for (udev_device* d = dev; d != nullptr; d = udev_device_get_parent(d)) {
    std::string value = Property(d, key);
    if (!value.empty()) return value;
  }
  return {};
}

std::string NearestDriver(udev_device* dev) {
  for (udev_device* d = udev_device_get_parent(dev); d != nullptr; d = udev_device_get_parent(d)) {
    // Newer kernels put a generic serial-base "port" device in between.
    if (Text(udev_device_get_subsystem(d)) == "serial-base") continue;
    std::string driver = Text(udev_device_get_driver(d));
    if (!driver.empty()) return driver;
  }
  return {};
}

UdevTtyRecord RecordOf(udev_device* dev) {
  UdevTtyRecord r;
  r.DevNode = Text(udev_device_get_devnode(dev));
  r.HasParent = udev_device_get_parent(dev) != nullptr;
  const char* type = udev_device_get_sysattr_value(dev, "type");
  r.HasSerialType = type != nullptr;
  r.SerialType = Text(type);
  r.Driver = NearestDriver(dev);
  r.ModelEnc = PropertyUpTheTree(dev, "ID_MODEL_ENC");
  r.Model = PropertyUpTheTree(dev, "ID_MODEL");
  r.ModelFromDatabase = PropertyUpTheTree(dev, "ID_MODEL_FROM_DATABASE");
  r.VendorFromDatabase = PropertyUpTheTree(dev, "ID_VENDOR_FROM_DATABASE");
  if (r.ModelEnc.empty() && r.Model.empty()) {
    // Without udev's database the USB device's own product string is in sysfs.
    for (udev_device* d = dev; d != nullptr; d = udev_device_get_parent(d))
      if (Text(udev_device_get_devtype(d)) == "usb_device") {
        r.Model = Text(udev_device_get_sysattr_value(d, "product"));
        break;
      }
  }
  return r;
}

class UdevPortSource : public IPortSource {
 public:
  bool ListPorts(std::vector<PortRecord>& ports) override {
    udev* u = udev_new();
    if (u == nullptr) return false;
    udev_enumerate* e = udev_enumerate_new(u);
    bool ok = e != nullptr && udev_enumerate_add_match_subsystem(e, "tty") >= 0 && udev_enumerate_scan_devices(e) >= 0;
    if (ok) {
      udev_list_entry* entry = nullptr;
      udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e)) {
        udev_device* dev = udev_device_new_from_syspath(u, udev_list_entry_get_name(entry));
        if (dev == nullptr) continue;
        PortRecord port;
        if (ToPortRecord(RecordOf(dev), port)) ports.push_back(std::move(port));
        udev_device_unref(dev);
      }
    }
    if (e != nullptr) udev_enumerate_unref(e);
    udev_unref(u);
    return ok;
  }
};

}  // namespace

IPortSource& SystemPortSource() {
  static UdevPortSource source;
  return source;
}

}  // namespace tolvane
