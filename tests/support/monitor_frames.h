// The monitor's read and write frames, as tests send them to a device.
#pragma once

#include <cstdint>
#include <vector>

namespace tolvane::test {

inline std::vector<uint8_t> ReadFrame(int32_t address) {
  return {0xCD, 0xE6, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
          static_cast<uint8_t>(address >> 16)};
}

inline std::vector<uint8_t> WriteFrame(int32_t address, uint8_t fill) {
  std::vector<uint8_t> frame{0xCD, 0xE7, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                             static_cast<uint8_t>(address >> 16)};
  for (int i = 0; i < 64; ++i) frame.push_back(static_cast<uint8_t>(fill + i));
  return frame;
}

}  // namespace tolvane::test
