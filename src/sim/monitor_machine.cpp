#include "sim/monitor_machine.h"

#include <algorithm>
#include <cstring>

namespace tolvane::sim {

MonitorMachine::MonitorMachine(const SimulatedDeviceOptions& options, FirmwareImage& memory,
                               SimulatedDeviceStats& stats)
    : m_Options(options), m_Memory(memory), m_Stats(stats), m_Faults(options.Faults) {}

void MonitorMachine::Reset(int64_t nowNs) {
  m_Parse = Parse::Idle;
  m_CaptureRun = 0;
  if (m_Options.RequireCapture) {
    m_State = SimState::Capturing;
    m_CaptureEndNs = nowNs + int64_t{m_Options.CaptureWindowMs} * 1'000'000;
  } else {
    m_State = SimState::Monitor;
  }
}

void MonitorMachine::Tick(int64_t nowNs) {
  if (m_State == SimState::Capturing && nowNs >= m_CaptureEndNs) m_State = SimState::Firmware;
}

MonitorAction MonitorMachine::Feed(uint8_t byte, int64_t nowNs) {
  ++m_Stats.BytesReceived;
  Tick(nowNs);
  if (m_State == SimState::Capturing) {
    ++m_Stats.BytesIgnored;
    m_CaptureRun = byte == link::kAttention ? m_CaptureRun + 1 : 0;
    if (m_CaptureRun >= kSimCaptureRun) {
      // The burst goes on: the monitor is already past the attention byte.
      m_State = SimState::Monitor;
      m_Parse = Parse::Attention;
      --m_Stats.BytesIgnored;
    }
    return {};
  }
  if (m_State != SimState::Monitor) {
    ++m_Stats.BytesIgnored;
    return {};
  }

  switch (m_Parse) {
    case Parse::Idle:
      if (byte == link::kAttention)
        m_Parse = Parse::Attention;
      else
        ++m_Stats.BytesIgnored;
      return {};
    case Parse::Attention:
      m_Command = byte;
      m_FrameSize = 0;
      if (byte == link::kAttention) {
        ++m_Stats.BytesIgnored;  // the previous attention byte led nowhere
      } else if (byte == link::kCommandRead) {
        m_Needed = link::kAddressSize;
        m_Parse = Parse::Frame;
      } else if (byte == link::kCommandWrite) {
        m_Needed = link::kAddressSize + link::kWriteDataSize;
        m_Parse = Parse::Frame;
      } else if (byte == link::kCommandRun) {
        ++m_Stats.RunCommands;
        m_State = SimState::Firmware;
        m_Parse = Parse::Idle;
      } else {
        m_Stats.BytesIgnored += 2;  // attention and an unknown command (the sync tail among them)
        m_Parse = Parse::Idle;
      }
      return {};
    case Parse::Frame:
      m_Frame[static_cast<size_t>(m_FrameSize++)] = byte;
      if (--m_Needed > 0) return {};
      m_Parse = Parse::Idle;
      return Serve();
  }
  return {};
}

const SimFault* MonitorMachine::FaultAt(int64_t command) const {
  for (const SimFault& fault : m_Faults)
    if (fault.AtCommand == command) return &fault;
  return nullptr;
}

MonitorAction MonitorMachine::Serve() {
  const int32_t address = m_Frame[0] | (m_Frame[1] << 8) | (m_Frame[2] << 16);
  const bool read = m_Command == link::kCommandRead;
  const SimFault* fault = FaultAt(++m_Commands);
  if (fault) ++m_Stats.FaultsInjected;
  ++(read ? m_Stats.ReadCommands : m_Stats.WriteCommands);
  if (fault && fault->Kind == SimFaultKind::Vanish) return {.Reply = {}, .DelayNs = 0, .Vanish = true};
  if (fault && fault->Kind == SimFaultKind::NoAnswer) return {};
  MonitorAction action = read ? Read(address, fault) : Write(address, fault);
  action.DelayNs += int64_t{m_Options.ReplyLatencyUs} * 1000;
  return action;
}

MonitorAction MonitorMachine::Read(int32_t address, const SimFault* fault) {
  MonitorAction action;
  action.Reply.resize(link::kReadReplySize);
  for (int32_t i = 0; i < link::kReadReplySize; ++i) {
    const std::optional<int32_t> offset = OffsetOfAddress((address + i) & 0xFFFFFF);
    action.Reply[static_cast<size_t>(i)] = offset ? m_Memory[*offset] : kSimFillerByte;
  }
  if (fault && fault->Kind == SimFaultKind::WrongAnswer)
    for (uint8_t& b : action.Reply) b = static_cast<uint8_t>(~b);
  if (fault && fault->Kind == SimFaultKind::ShortReply) action.Reply.pop_back();
  ApplyCommonFault(action, fault);
  return action;
}

MonitorAction MonitorMachine::Write(int32_t address, const SimFault* fault) {
  MonitorAction action;
  if (fault && fault->Kind == SimFaultKind::WrongAnswer) {
    action.Reply = {0x00};
    return action;
  }
  if (fault && fault->Kind == SimFaultKind::ShortReply) return action;

  // Only whole blocks of the user area can be programmed; the monitor keeps
  // itself and anything outside program flash.
  const bool writable = address % link::kWriteDataSize == 0 && UserArea.Contains(address) &&
                        address + link::kWriteDataSize <= UserArea.End;
  if (writable) {
    std::memcpy(&m_Memory[address], &m_Frame[link::kAddressSize], link::kWriteDataSize);
    ++m_Stats.BlocksWritten;
    action.Reply = {link::kReplyWritten};
    action.DelayNs = int64_t{m_Options.ProgramTimeUs} * 1000;
  } else {
    ++m_Stats.BlocksProtected;
    action.Reply = {link::kReplyProtected};
  }
  ApplyCommonFault(action, fault);
  return action;
}

void MonitorMachine::ApplyCommonFault(MonitorAction& action, const SimFault* fault) {
  if (!fault) return;
  if (fault->Kind == SimFaultKind::ExtraByte) action.Reply.push_back(kSimExtraByte);
  if (fault->Kind == SimFaultKind::Noise) {
    std::vector<uint8_t> noise;
    for (int32_t i = 0; i < m_Options.NoiseBytes; ++i) {
      // Noise never looks like a write acknowledgement.
      uint8_t b;
      do {
        m_NoiseSeed ^= m_NoiseSeed << 13;
        m_NoiseSeed ^= m_NoiseSeed >> 17;
        m_NoiseSeed ^= m_NoiseSeed << 5;
        b = static_cast<uint8_t>(m_NoiseSeed >> 24);
      } while (b == link::kReplyWritten || b == link::kReplyProtected);
      noise.push_back(b);
    }
    action.Reply.insert(action.Reply.begin(), noise.begin(), noise.end());
  }
}

}  // namespace tolvane::sim
