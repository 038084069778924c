// The built-in simulated device behind `--port sim`: a device of its own for
// each use, on a pseudo-terminal or, where the system has none, inside the
// program.
#pragma once

#include <memory>
#include <string>

namespace tolvane::cli {

class BuiltInDevice {
 public:
  virtual ~BuiltInDevice() = default;
  // The port the programmer opens to reach the device.
  virtual const std::string& PortPath() const = 0;
};

// The port name that asks for a built-in device.
inline constexpr const char* kSimPortName = "sim";

// Starts a factory-fresh device (monitor in place, user area erased). Null
// with the reason when the platform or the system cannot provide one.
std::unique_ptr<BuiltInDevice> StartBuiltInDevice(std::string& error);

}  // namespace tolvane::cli
