// What the udev database says of one tty device, and the rule that makes a
// listed port of it: only ports that exist as hardware, named as the system
// names the device.
#pragma once

#include "serial/port_list.h"

#include <string>
#include <string_view>

namespace tolvane {

struct UdevTtyRecord {
  std::string DevNode;             // /dev/ttyUSB0; empty: no device node
  bool HasParent = false;          // false for virtual ttys (consoles, ptmx)
  bool HasSerialType = false;      // serial-core ports carry a "type" attribute
  std::string SerialType;          // its value: "0" is a slot with no UART behind it
  std::string Driver;              // nearest driver up the device tree
  std::string ModelEnc;            // ID_MODEL_ENC: the product string, \xNN-encoded
  std::string Model;               // ID_MODEL: the same with blanks as '_'
  std::string ModelFromDatabase;   // ID_MODEL_FROM_DATABASE
  std::string VendorFromDatabase;  // ID_VENDOR_FROM_DATABASE
};

// Undoes udev's \xNN encoding of property texts.
std::string DecodeUdevText(std::string_view text);

// False when the device is not a serial port that exists as hardware.
bool ToPortRecord(const UdevTtyRecord& record, PortRecord& port);

}  // namespace tolvane
