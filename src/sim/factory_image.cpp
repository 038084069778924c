// The memory of a new simulated device: what a PIC18F26K42 with the boot
// monitor programmed and no firmware yet would read back as.
#include "sim/simulated_device.h"

#include <array>
#include <cstring>
#include <initializer_list>

namespace tolvane {
namespace {

void PutWord(FirmwareImage& image, int32_t offset, uint16_t word) {
  image[offset] = static_cast<uint8_t>(word & 0xFF);
  image[offset + 1] = static_cast<uint8_t>(word >> 8);
}

// GOTO to a byte address: two instruction words.
void PutGoto(FirmwareImage& image, int32_t offset, int32_t target) {
  const int32_t word = target / 2;
  PutWord(image, offset, static_cast<uint16_t>(0xEF00 | (word & 0xFF)));
  PutWord(image, offset + 2, static_cast<uint16_t>(0xF000 | ((word >> 8) & 0x0FFF)));
}

void FillMonitor(FirmwareImage& image) {
  // Reset vector into the monitor; the interrupt vectors forward to the
  // firmware's own, just above the monitor area.
  PutGoto(image, 0x0000, 0x0040);
  PutGoto(image, 0x0008, kMonitorAreaSize + 0x08);
  PutGoto(image, 0x0018, kMonitorAreaSize + 0x18);
  // The monitor's body: a deterministic mix of the instructions such a loop
  // uses (UART polling, compares with the attention byte, table writes).
  static constexpr std::array<uint16_t, 24> kOpcodes{0x0ECD, 0x6E3D, 0xA03E, 0xD7FE, 0x503D, 0x62E8, 0xD00A, 0x0EE6,
                                                     0x5CE8, 0xE10C, 0x000C, 0x0008, 0x6EF6, 0x6AF7, 0x0E02, 0x6EF8,
                                                     0xCFE8, 0xF3FF, 0x0012, 0x84A6, 0x88A6, 0x0E55, 0x6EA7, 0x0EAA};
  uint32_t state = 0x1234567u;
  for (int32_t offset = 0x0040; offset < 0x0380; offset += 2) {
    state = state * 1103515245u + 12345u;
    PutWord(image, offset, kOpcodes[(state >> 16) % kOpcodes.size()]);
  }
  // Its name and version, where the firmware's loader can find them.
  static constexpr char kBanner[] = "TLV-MON 1.2";
  std::memcpy(&image[kMonitorAreaSize - 16], kBanner, sizeof kBanner - 1);
}

void PutRegion(FirmwareImage& image, int32_t row, std::initializer_list<uint8_t> bytes) {
  std::memcpy(image.Slot(row), bytes.begin(), bytes.size());
}

void PutRegionWords(FirmwareImage& image, int32_t row, int32_t byteOffset, std::initializer_list<uint16_t> words) {
  int32_t offset = RegionSlotOffset(row) + byteOffset;
  for (uint16_t word : words) {
    PutWord(image, offset, word);
    offset += 2;
  }
}

}  // namespace

FirmwareImage SimulatedDevice::FactoryImage(uint32_t serial) {
  FirmwareImage image;
  FillMonitor(image);
  // User IDs: a serial number in the first two words, the rest erased.
  PutRegion(image, kRegionUserIds, {0x17, 0x04, 0x26, 0x20});
  // Configuration words CONFIG1L..CONFIG5H: internal oscillator, brown-out on,
  // watchdog off, low-voltage programming on, no code protection.
  PutRegion(image, kRegionConfiguration, {0xEC, 0xFF, 0xF7, 0xBF, 0x9F, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF});
  // Device information area: unique ID, erased user ID space, temperature
  // indicator calibration and the fixed voltage reference readings in mV.
  // Another chip has other last words: its serial number, spread over them.
  const auto low = static_cast<uint16_t>(0x0001 + (serial & 0xFFFF));
  const auto high = static_cast<uint16_t>(0xC4A8 ^ (serial >> 16) ^ (serial != 0 ? 0x5A00 : 0));
  PutRegionWords(image, kRegionDeviceInformation, 0x00,
                 {0x3A91, 0x5C07, 0x11E2, 0x8F40, 0x2B6D, 0x0099, 0x7D13, high, low});
  PutRegionWords(image, kRegionDeviceInformation, 0x26, {0x0A9C, 0x0C21, 0x0DB7, 0x0B02});
  PutRegionWords(image, kRegionDeviceInformation, 0x30, {0x03FC, 0x07F9, 0x0FF3, 0x03FD, 0x07FA, 0x0FF4});
  // Device configuration information: erase row and write latch size (64
  // bytes), rows of flash, bytes of EEPROM, pins.
  PutRegionWords(image, kRegionDeviceConfiguration, 0x00, {0x0040, 0x0040, kFlashSize / 64, 0x0400, 28});
  PutRegionWords(image, kRegionRevisionId, 0x00, {0xA002});  // revision A2
  PutRegionWords(image, kRegionDeviceId, 0x00, {0x6C60});    // PIC18F26K42
  return image;
}

}  // namespace tolvane
