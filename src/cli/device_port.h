// The port a device command works on: a serial port by its system name, or a
// built-in simulated device reached through its own pseudo-terminal.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device_sim.h"
#include "serial/serial_port.h"

namespace tolvane::cli {

class DevicePort {
 public:
  // The label names the port in output; it tells apart ports given the same
  // name (several "sim").
  DevicePort(std::string name, std::string label) : m_Name(std::move(name)), m_Label(std::move(label)) {}

  // Opens the line (starting the built-in device first for "sim"). False with
  // the reason.
  bool Open(int32_t baud, std::string& error);

  const std::string& Label() const { return m_Label; }
  OSerialPort& Port() { return m_Port; }

 private:
  std::string m_Name;
  std::string m_Label;
  std::unique_ptr<BuiltInDevice> m_Sim;  // outlives the port that talks to it
  OSerialPort m_Port;
};

// The labels of the ports given: each name as it is, a name given more than
// once numbered by its occurrence ("sim#1", "sim#2").
std::vector<std::string> PortLabels(const std::vector<std::string>& names);

}  // namespace tolvane::cli
