#include "serial/counting_port.h"

namespace tolvane {

bool CountingPort::Write(const uint8_t* data, int32_t count) {
  const bool written = m_Port.Write(data, count);
  if (written && count > 0) m_Moved += count;
  return written;
}

bool CountingPort::Read(uint8_t* buffer, int32_t max, int32_t& received) {
  const bool read = m_Port.Read(buffer, max, received);
  if (received > 0) m_Moved += received;
  return read;
}

bool CountingPort::ReadTimed(uint8_t* buffer, int32_t wanted, int32_t& received, int32_t timeoutMs) {
  const bool read = m_Port.ReadTimed(buffer, wanted, received, timeoutMs);
  if (received > 0) m_Moved += received;
  return read;
}

}  // namespace tolvane
