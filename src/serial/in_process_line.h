// A serial line inside the program: a simulated device at one end, an
// OSerialPort at the other. It stands in for a pseudo-terminal where the
// system has none (Windows), so the built-in simulated device works there
// too. The port reaches a line by the name it was registered under, as it
// reaches a system port by its name.
#pragma once

#include "serial/serial_port.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace tolvane {

class InProcessLine {
 public:
  // What the line holds towards the client before further bytes are lost,
  // as on a real line whose listener does not read.
  static constexpr size_t kClientBuffer = 64 * 1024;
  // What the line holds towards the device, as a driver's transmit buffer
  // does: a client that sends faster than the device takes waits for room.
  static constexpr size_t kDeviceBuffer = 4096;

  // Device end ----------------------------------------------------------
  // Takes what the client has sent, without waiting.
  size_t DeviceRead(uint8_t* buffer, size_t max);
  bool DeviceInputWaiting();
  // Puts bytes on the line; returns how many it took (none while no client
  // has the port open, or beyond kClientBuffer).
  size_t DeviceWrite(const uint8_t* data, size_t count);
  // Sleeps until the client sends something, Wake() is called or timeoutNs
  // passes (negative: no limit).
  void DeviceWait(int64_t timeoutNs);
  void Wake();
  // The device is gone: the client's reads and writes fail from now on.
  void HangUp();

  // Client end (the port's backend) -----------------------------------------
  bool Attach();  // false while another client has it open
  void Detach();
  bool HungUp();
  // Waits for room while the device end holds kDeviceBuffer bytes; false
  // when the line hung up, *stop turned true, or nothing was taken for
  // stallMs.
  bool ClientWrite(const uint8_t* data, size_t count, const std::atomic<bool>* stop, int stallMs);
  // Bytes the device has not taken yet, and dropping them.
  size_t ClientPending();
  void ClientDiscard();
  // Takes up to `count` bytes: what is there (no deadline), or waiting until
  // count bytes are there or the deadline has passed.
  size_t ClientRead(uint8_t* buffer, size_t count, const std::chrono::steady_clock::time_point* deadline);

 private:
  std::mutex m_Mutex;
  std::condition_variable m_ToDeviceChanged;
  std::condition_variable m_ToClientChanged;
  std::condition_variable m_ToDeviceTaken;
  std::deque<uint8_t> m_ToDevice;
  std::deque<uint8_t> m_ToClient;
  bool m_Woken = false;
  bool m_HungUp = false;
  bool m_Attached = false;
};

// Makes a line and registers it under a new name ("SIM1", "SIM2", ...) for as
// long as the line lives.
std::shared_ptr<InProcessLine> CreateInProcessLine(std::string& name);

// The port's backend for a registered line; null with error 0 when the name
// is not one, or with the system's "busy" code when a client has it open.
std::unique_ptr<OSerialPort::Backend> OpenInProcessPort(const std::string& name, uint32_t& error);

}  // namespace tolvane
