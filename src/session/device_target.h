// The port a run opens by name: a system port (/dev/ttyUSB0, COM3) or a
// built-in simulated device of its own ("sim", "sim:fast"), which lives as
// long as the target.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "serial/serial_port.h"
#include "sim/simulated_device.h"

namespace tolvane {

class DeviceTarget {
 public:
  explicit DeviceTarget(std::string name) : m_Name(std::move(name)) {}

  // Opens the line (starting the built-in device first). False with the
  // reason in one line. stop: a flag a blocked write watches (may be null).
  bool Open(int32_t baud, const std::atomic<bool>* stop, std::string* error);

  const std::string& Name() const { return m_Name; }
  OSerialPort& Port() { return m_Port; }

 private:
  std::string m_Name;
  std::unique_ptr<SimulatedDevice> m_Sim;  // outlives the port that talks to it
  OSerialPort m_Port;
};

}  // namespace tolvane
