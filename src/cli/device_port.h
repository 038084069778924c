// The port a device command works on: a serial port by its system name, or a
// built-in simulated device reached through its own pseudo-terminal.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "device_sim.h"
#include "serial/serial_port.h"

namespace tolvane::cli {

class DevicePort {
 public:
  explicit DevicePort(std::string name) : m_Name(std::move(name)) {}

  // Opens the line (starting the built-in device first for "sim"). False with
  // the reason.
  bool Open(int32_t baud, std::string& error);

  const std::string& Name() const { return m_Name; }
  OSerialPort& Port() { return m_Port; }

 private:
  std::string m_Name;
  std::unique_ptr<BuiltInDevice> m_Sim;  // outlives the port that talks to it
  OSerialPort m_Port;
};

}  // namespace tolvane::cli
