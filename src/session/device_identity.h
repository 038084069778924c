// Who a device is, as a read finds it: its Device ID and Revision ID words
// and the chip's unique identifier (the first bytes of the Device
// Information Area), which every read and verify fetches.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "image/firmware_image.h"

namespace tolvane {

struct DeviceIdentity {
  bool Known = false;  // the read reached the regions
  uint16_t DeviceId = 0;
  uint16_t RevisionId = 0;
  std::array<uint8_t, kUniqueIdSize> UniqueId{};

  // 36 hexadecimal digits in address order; empty when not known.
  std::string UniqueIdHex() const;
  // "6C60", "A002"; empty when not known.
  std::string DeviceIdHex() const;
  std::string RevisionIdHex() const;
  bool operator==(const DeviceIdentity&) const = default;
};

// The identity in a device image that a complete read filled.
DeviceIdentity IdentityOf(const FirmwareImage& device);

}  // namespace tolvane
