// The simulated device as a byte port on the caller's own thread: no line,
// no thread, no pseudo-terminal. Time drives it: whatever the device would
// have done by now is done whenever the port is used, and a timed read
// sleeps until the byte it waits for is due on the wire. The monitor is
// MonitorMachine, the wire's timing WirePacing, as in SimulatedDevice. It is
// the web page's built-in device (a page opened from the disk has one thread).
//
// Of the options it plays the wire's baud rate, the programming time, the
// reply latency, the faults and capture gating; a jig, a power-on delay,
// chatter and saving need the device's own thread (SimulatedDevice).
#pragma once

#include "image/firmware_image.h"
#include "serial/byte_port.h"
#include "sim/monitor_machine.h"
#include "sim/sim_options.h"
#include "sim/wire_pacing.h"

#include <cstdint>
#include <deque>
#include <string>

namespace tolvane {

class SimulatedDevicePort : public IBytePort {
 public:
  // memory: what the device holds (SimulatedDevice::InitialImage).
  SimulatedDevicePort(SimulatedDeviceOptions options, const FirmwareImage& memory);
  SimulatedDevicePort(const SimulatedDevicePort&) = delete;
  SimulatedDevicePort& operator=(const SimulatedDevicePort&) = delete;

  const FirmwareImage& Memory() const { return m_Memory; }
  const SimulatedDeviceStats& Stats() const { return m_Stats; }
  SimState State() const { return m_Machine.State(); }

  // IBytePort. The port stays open; once the device has vanished, reads and
  // writes fail with kSystemDeviceGone, as on a line that was hung up.
  bool IsOpen() const override { return true; }
  bool Write(const uint8_t* data, int32_t count) override;
  bool Read(uint8_t* buffer, int32_t max, int32_t& received) override;
  bool ReadTimed(uint8_t* buffer, int32_t wanted, int32_t& received, int32_t timeoutMs) override;
  bool ClearLineErrors() override { return true; }
  // What the device had not taken from the line at the last call.
  int32_t PendingOutput() const override { return static_cast<int32_t>(m_LineIn.size()); }
  void DiscardOutput() override;
  uint32_t LastError() const override { return m_LastError; }
  int32_t FrameErrors() const override { return 0; }
  const std::string& ErrorText() const override { return m_ErrorText; }

 private:
  // Does whatever the device and the wire did up to nowNs.
  void Advance(int64_t nowNs);
  // The device takes from the line what its queue has room for at atNs,
  // and the monitor answers it.
  void TakeInput(int64_t atNs);
  // When the missing-th byte still on its way is through, or the next moment
  // the device may put more on the wire; max when neither will come. Called
  // with nothing received left unread.
  int64_t NextWakeNs(int32_t missing) const;
  bool Gone();

  SimulatedDeviceOptions m_Options;
  FirmwareImage m_Memory;
  SimulatedDeviceStats m_Stats;
  sim::MonitorMachine m_Machine;
  sim::WirePacing m_Wire;

  std::deque<uint8_t> m_LineIn;          // sent by the client, not yet taken by the device
  std::deque<sim::TimedByte> m_Replies;  // said by the device, each with when it is through
  std::deque<uint8_t> m_Received;        // through the wire, not yet read by the client
  int64_t m_VanishNs = -1;               // when the line closes (a Vanish fault)
  bool m_Gone = false;
  uint32_t m_LastError = 0;
  std::string m_ErrorText;
};

}  // namespace tolvane
