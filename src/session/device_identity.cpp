#include "session/device_identity.h"

#include <cstdio>

namespace tolvane {
namespace {

// A word of a region, low byte first as the chip stores it.
uint16_t WordOf(const FirmwareImage& image, int32_t region) {
  const uint8_t* slot = image.Slot(region);
  return static_cast<uint16_t>(slot[0] | (slot[1] << 8));
}

std::string Hex4(uint16_t word) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(word));
  return text;
}

}  // namespace

std::string DeviceIdentity::UniqueIdHex() const {
  if (!Known) return {};
  std::string text;
  char pair[4];
  for (uint8_t byte : UniqueId) {
    std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(byte));
    text += pair;
  }
  return text;
}

std::string DeviceIdentity::DeviceIdHex() const { return Known ? Hex4(DeviceId) : std::string(); }

std::string DeviceIdentity::RevisionIdHex() const { return Known ? Hex4(RevisionId) : std::string(); }

DeviceIdentity IdentityOf(const FirmwareImage& device) {
  DeviceIdentity identity;
  identity.Known = true;
  identity.DeviceId = WordOf(device, kRegionDeviceId);
  identity.RevisionId = WordOf(device, kRegionRevisionId);
  const uint8_t* information = device.Slot(kRegionDeviceInformation);
  std::copy(information, information + kUniqueIdSize, identity.UniqueId.begin());
  return identity;
}

}  // namespace tolvane
