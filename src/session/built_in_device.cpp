#include "session/built_in_device.h"

#include "serial/serial_port.h"

namespace tolvane {

bool IsBuiltInDeviceName(const std::string& name, SimPace& pace) {
  if (name == kSimPortName) {
    pace = kDefaultSimPace;
    return true;
  }
  if (name == kFastSimPortName) {
    pace = SimPace::Full;
    return true;
  }
  return false;
}

std::unique_ptr<SimulatedDevice> StartBuiltInDevice(SimPace pace, std::string* error) {
  SimulatedDeviceOptions options;
  if (pace == SimPace::Device) {
    options.BaudRate = kDefaultBaud;
    options.ProgramTimeUs = kBuiltInProgramUs;
  }
  auto device = std::make_unique<SimulatedDevice>(options);
  if (!device->Start(error)) return nullptr;
  return device;
}

}  // namespace tolvane
