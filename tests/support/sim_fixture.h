// The simulated device as the tests meet it: started (or the test fails
// there), on a pseudo-terminal or a line inside the program, with the
// programmer's own port open on it when a test needs one; and the firmware
// the tests write, with the configuration such a device already holds.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "image/firmware_image.h"
#include "serial/serial_port.h"
#include "sim/simulated_device.h"

namespace tolvane::test {

class TestDevice {
 public:
  explicit TestDevice(SimulatedDeviceOptions options = {}) : m_Device(std::move(options)) {
    std::string error;
    m_Started = m_Device.Start(&error);
    EXPECT_TRUE(m_Started) << error;
  }
  SimulatedDevice& Device() { return m_Device; }
  SimulatedDevice* operator->() { return &m_Device; }
  const std::string& Path() const { return m_Device.PortPath(); }
  bool Started() const { return m_Started; }

 private:
  SimulatedDevice m_Device;
  bool m_Started = false;
};

// A device with the programmer's port open on it at the monitor's speed.
class OpenTestDevice : public TestDevice {
 public:
  explicit OpenTestDevice(SimulatedDeviceOptions options = {}) : TestDevice(std::move(options)) {
    EXPECT_TRUE(m_Port.OpenDevice(Path(), kDefaultBaud)) << m_Port.ErrorText();
  }
  OSerialPort& Port() { return m_Port; }

 private:
  OSerialPort m_Port;
};

// Firmware for the user area (up to `end`), the monitor area left at 0xFF as
// a compiler leaves it, and the configuration and identifiers a factory-fresh
// device holds (no procedure writes them, so a file carries them as they are).
inline FirmwareImage DeviceFirmware(int32_t end = 0x9000) {
  FirmwareImage image;
  for (int32_t i = kMonitorAreaSize; i < end; ++i) image[i] = static_cast<uint8_t>((i * 31) ^ (i >> 7));
  const FirmwareImage factory = SimulatedDevice::FactoryImage();
  for (int32_t k = 0; k < kVerifiedRegionCount; ++k)
    std::copy(factory.Slot(k), factory.Slot(k) + kRegionSlotSize, image.Slot(k));
  return image;
}

// A jig of boards that come and go on one line, each a chip of its own
// (serial numbers from 1) holding the old firmware of oldHex (empty: erased),
// taken away soon after the run command or afterMs after it is switched on.
inline SimulatedDeviceOptions Jig(int32_t boards, int32_t stayMs = 0, const std::string& oldHex = {}) {
  SimulatedDeviceOptions options;
  options.JigGapMs = 100;
  options.JigAfterRunMs = 100;
  options.JigStayMs = stayMs;
  for (int32_t i = 0; i < boards; ++i) {
    SimJigBoard board;
    std::string error;
    EXPECT_TRUE(SimulatedDevice::InitialImage(oldHex, static_cast<uint32_t>(i + 1), board.Memory, &error)) << error;
    options.Jig.push_back(std::move(board));
  }
  return options;
}

}  // namespace tolvane::test
