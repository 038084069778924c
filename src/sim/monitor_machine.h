// The boot monitor's behaviour without any I/O: bytes go in with the time they
// finished arriving, replies come out with the delay the device takes before
// it starts sending them. SimulatedDevice puts it on a pseudo-terminal.
#pragma once

#include "image/firmware_image.h"
#include "protocol/link_constants.h"
#include "sim/sim_options.h"

#include <array>
#include <cstdint>
#include <vector>

namespace tolvane::sim {

// What the device does in answer to one byte.
struct MonitorAction {
  std::vector<uint8_t> Reply;  // bytes to send, possibly none
  int64_t DelayNs = 0;         // device-side work (flash programming) before the reply
  bool Vanish = false;         // close the line instead
};

class MonitorMachine {
 public:
  MonitorMachine(const SimulatedDeviceOptions& options, FirmwareImage& memory, SimulatedDeviceStats& stats);

  // One received byte; nowNs is when its stop bit ended.
  MonitorAction Feed(uint8_t byte, int64_t nowNs);
  // Lets time pass: the capture window closes into the firmware.
  void Tick(int64_t nowNs);

  void Reset(int64_t nowNs);
  void PowerOff() { m_State = SimState::Off; }
  // Another board on the line: its faults, counted from its first command.
  void NewBoard(const std::vector<SimFault>& faults) {
    m_Faults = faults;
    m_Commands = 0;
  }
  void MarkVanished() { m_State = SimState::Vanished; }

  SimState State() const { return m_State; }
  // True while no frame is half received (idle chatter may go out).
  bool BetweenFrames() const { return m_Parse == Parse::Idle; }
  // When the capture window ends, or -1 when none is open.
  int64_t CaptureDeadlineNs() const { return m_State == SimState::Capturing ? m_CaptureEndNs : -1; }

 private:
  enum class Parse { Idle, Attention, Frame };

  MonitorAction Serve();
  MonitorAction Read(int32_t address, const SimFault* fault);
  MonitorAction Write(int32_t address, const SimFault* fault);
  const SimFault* FaultAt(int64_t command) const;
  void ApplyCommonFault(MonitorAction& action, const SimFault* fault);

  const SimulatedDeviceOptions& m_Options;
  FirmwareImage& m_Memory;
  SimulatedDeviceStats& m_Stats;

  SimState m_State = SimState::Monitor;
  int64_t m_CaptureEndNs = 0;
  int32_t m_CaptureRun = 0;

  Parse m_Parse = Parse::Idle;
  uint8_t m_Command = 0;
  int32_t m_Needed = 0;  // bytes still to come in the current frame
  std::array<uint8_t, link::kAddressSize + link::kWriteDataSize> m_Frame{};
  int32_t m_FrameSize = 0;
  int64_t m_Commands = 0;  // read and write frames seen, for the faults
  std::vector<SimFault> m_Faults;
  uint32_t m_NoiseSeed = 0x2545F491u;
};

}  // namespace tolvane::sim
