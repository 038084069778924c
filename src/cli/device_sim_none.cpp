// Platforms without pseudo-terminals have no built-in device.
#include "device_sim.h"

namespace tolvane::cli {

std::unique_ptr<BuiltInDevice> StartBuiltInDevice(std::string& error) {
  error = "the simulated device needs pseudo-terminals, which this system does not have";
  return nullptr;
}

}  // namespace tolvane::cli
