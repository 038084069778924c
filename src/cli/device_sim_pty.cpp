// The built-in device on a pseudo-terminal pair.
#include "device_sim.h"

#include "sim/simulated_device.h"

namespace tolvane::cli {
namespace {

class PtyDevice : public BuiltInDevice {
 public:
  bool Start(std::string& error) { return m_Device.Start(&error); }
  const std::string& PortPath() const override { return m_Device.PortPath(); }

 private:
  SimulatedDevice m_Device;
};

}  // namespace

std::unique_ptr<BuiltInDevice> StartBuiltInDevice(std::string& error) {
  auto device = std::make_unique<PtyDevice>();
  if (!device->Start(error)) return nullptr;
  return device;
}

}  // namespace tolvane::cli
