// A simulated device: it answers the boot monitor's frames on a pseudo-terminal
// pair (or a line inside the program, see SimulatedDeviceOptions::InProcess),
// so the programmer can be run, tested and measured without hardware. The
// client opens PortPath() like any serial port (OSerialPort::OpenDevice).
#pragma once

#include "image/firmware_image.h"
#include "sim/sim_options.h"

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tolvane {

class SimulatedDevice {
 public:
  explicit SimulatedDevice(SimulatedDeviceOptions options = {});
  ~SimulatedDevice();  // Stop()
  SimulatedDevice(const SimulatedDevice&) = delete;
  SimulatedDevice& operator=(const SimulatedDevice&) = delete;

  // Loads the initial image, opens the line and starts serving in a
  // thread. False with a reason (a bad HEX file, no pseudo-terminal). After a
  // Stop() it starts again, on a new line, with the memory it had.
  bool Start(std::string* error = nullptr);
  // Stops serving, closes the line, saves the memory if asked.
  // Returns false (with the reason) only when the save failed. Stats() and
  // Memory() keep what the device ended with.
  bool Stop(std::string* error = nullptr);

  // Path of the slave side, for the client to open. Valid after Start().
  const std::string& PortPath() const { return m_PortPath; }
  // Where a web page's port connects, when the options ask for a WebSocket.
  const std::string& WebSocketUrl() const { return m_WebSocketUrl; }

  // A reset of the device: back into the monitor, or into capture watching
  // when RequireCapture is set. A frame in progress is dropped.
  void Reset();

  SimState State() const;
  SimulatedDeviceStats Stats() const;
  FirmwareImage Memory() const;
  // A jig's boards that were taken away, as they were then, in order; and
  // the one on the line (-1: none).
  std::vector<FirmwareImage> JigBoardsTaken() const;
  int32_t JigBoardOn() const;
  // Before Start() this is the memory the device starts with (the HEX file of
  // the options is then not read); while serving, it replaces the memory.
  void SetMemory(const FirmwareImage& image);

  // The memory of a new device: monitor code in the monitor area, erased user
  // area, and the regions of a PIC18F26K42 (device ID 0x6C60, revision A2).
  // serial: another chip of the same kind (its own unique identifier).
  static FirmwareImage FactoryImage(uint32_t serial = 0);
  // The factory image with the user area of the HEX file (none: erased).
  static bool InitialImage(const std::string& hexFile, uint32_t serial, FirmwareImage& image, std::string* error);

  // Saves an image in the given format.
  static bool SaveImage(const std::string& path, SimSaveFormat format, const FirmwareImage& image,
                        std::string* error = nullptr);

 private:
  class Engine;

  SimulatedDeviceOptions m_Options;
  std::string m_PortPath;
  std::string m_WebSocketUrl;
  std::unique_ptr<Engine> m_Engine;
  std::thread m_Thread;
  std::optional<FirmwareImage> m_Initial;  // memory set before Start()
  bool m_Saved = false;
};

}  // namespace tolvane
