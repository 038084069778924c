// The built-in device: on a pseudo-terminal, or inside the program where the
// system has none.
#include "device_sim.h"

#include "sim/simulated_device.h"

namespace tolvane::cli {
namespace {

class SimDevice : public BuiltInDevice {
 public:
  bool Start(std::string& error) { return m_Device.Start(&error); }
  const std::string& PortPath() const override { return m_Device.PortPath(); }

 private:
  SimulatedDevice m_Device;
};

}  // namespace

std::unique_ptr<BuiltInDevice> StartBuiltInDevice(std::string& error) {
  auto device = std::make_unique<SimDevice>();
  if (!device->Start(error)) return nullptr;
  return device;
}

}  // namespace tolvane::cli
