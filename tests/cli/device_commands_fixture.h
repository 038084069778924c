// What the tests of the device commands share: a scratch folder with a
// firmware's HEX file, and a device that already holds it.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "image/hex_writer.h"
#include "sim/simulated_device.h"
#include "sim_fixture.h"

namespace tolvane {

inline bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class DeviceCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Dir = std::filesystem::temp_directory_path() / ("tolvane-cmd-" + std::to_string(getpid()));
    std::filesystem::create_directories(m_Dir);
    m_Firmware = test::DeviceFirmware(0x3000);
    m_Hex = (m_Dir / "firmware.hex").string();
    ASSERT_TRUE(WriteHexFile(m_Hex, m_Firmware));
  }
  void TearDown() override { std::filesystem::remove_all(m_Dir); }

  // A device that already holds the firmware in its user area.
  SimulatedDeviceOptions Programmed() {
    SimulatedDeviceOptions options;
    options.HexFile = m_Hex;
    return options;
  }

  std::filesystem::path m_Dir;
  FirmwareImage m_Firmware;
  std::string m_Hex;
};

}  // namespace tolvane
