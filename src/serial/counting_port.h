// A port that counts the bytes crossing it either way: the line's real rate
// while a procedure runs, for a program's status line.
#pragma once

#include <atomic>
#include <cstdint>

#include "serial/byte_port.h"

namespace tolvane {

class CountingPort final : public IBytePort {
 public:
  explicit CountingPort(IBytePort& port) : m_Port(port) {}
  int64_t Moved() const { return m_Moved; }

  bool IsOpen() const override { return m_Port.IsOpen(); }
  bool Write(const uint8_t* data, int32_t count) override;
  bool Read(uint8_t* buffer, int32_t max, int32_t& received) override;
  bool ReadTimed(uint8_t* buffer, int32_t wanted, int32_t& received, int32_t timeoutMs) override;
  bool ClearLineErrors() override { return m_Port.ClearLineErrors(); }
  int32_t PendingOutput() const override { return m_Port.PendingOutput(); }
  void DiscardOutput() override { m_Port.DiscardOutput(); }
  uint32_t LastError() const override { return m_Port.LastError(); }
  int32_t FrameErrors() const override { return m_Port.FrameErrors(); }
  const std::string& ErrorText() const override { return m_Port.ErrorText(); }

 private:
  IBytePort& m_Port;
  std::atomic<int64_t> m_Moved{0};
};

}  // namespace tolvane
