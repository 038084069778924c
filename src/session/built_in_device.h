// The built-in simulated device, for trying either program without
// hardware: started by one function for both, factory-fresh (monitor in
// place, user area erased). By default it is as slow as a device on a real
// line (kDefaultBaud on the wire, 2 ms to program each block); it can be
// asked to run at full speed, as scripts and tests like.
#pragma once

#include <memory>
#include <string>

#include "sim/simulated_device.h"

namespace tolvane {

enum class SimPace { Device, Full };
inline constexpr SimPace kDefaultSimPace = SimPace::Device;

// The flash programming time of one block at the device's pace.
inline constexpr int32_t kBuiltInProgramUs = 2000;

// The port names that ask for a built-in device: "sim" at the default pace,
// "sim:fast" at full speed.
inline constexpr const char* kSimPortName = "sim";
inline constexpr const char* kFastSimPortName = "sim:fast";

// True (with the pace) when name asks for a built-in device.
bool IsBuiltInDeviceName(const std::string& name, SimPace& pace);

// Starts one; null with the reason when the system cannot provide one.
std::unique_ptr<SimulatedDevice> StartBuiltInDevice(SimPace pace, std::string* error);

}  // namespace tolvane
