// A device model for the procedure tests: answers the read and write frames
// that reach a FakePort from its own memory, with a protected monitor area and
// scripted misbehaviour at chosen commands.
#pragma once

#include <functional>
#include <map>

#include "fake_port.h"
#include "image/firmware_image.h"
#include "protocol/link_constants.h"

namespace tolvane::test {

class FakeMonitor {
 public:
  FirmwareImage Memory;
  bool ProtectMonitor = true;
  // Replaces the reply of the n-th read or write frame (from 1); that frame
  // then changes nothing.
  std::map<int32_t, std::vector<uint8_t>> Replies;
  int32_t Commands = 0;
  std::vector<int32_t> WrittenAddresses;
  std::map<int32_t, int32_t> Reads;  // read commands per address

  void Attach(FakePort& port) {
    port.Responder = [this](FakePort& p, const std::vector<uint8_t>& frame) { Answer(p, frame); };
  }

 private:
  void Answer(FakePort& port, const std::vector<uint8_t>& frame) {
    if (frame.size() < 5 || frame[0] != link::kAttention) return;
    if (frame[1] != link::kCommandRead && frame[1] != link::kCommandWrite) return;
    ++Commands;
    int32_t address = frame[2] | frame[3] << 8 | frame[4] << 16;
    std::vector<uint8_t> reply;
    if (auto it = Replies.find(Commands); it != Replies.end()) {
      reply = it->second;  // misbehaving: the frame has no other effect
    } else if (frame[1] == link::kCommandRead) {
      ++Reads[address];
      for (int32_t i = 0; i < link::kReadReplySize; ++i) reply.push_back(ByteAt(address + i));
    } else if (ProtectMonitor && MonitorArea.Contains(address)) {
      reply.push_back(link::kReplyProtected);
    } else {
      std::copy(frame.begin() + 5, frame.end(), Memory.Data() + address);
      WrittenAddresses.push_back(address);
      reply.push_back(link::kReplyWritten);
    }
    port.Input.insert(port.Input.end(), reply.begin(), reply.end());
  }

  uint8_t ByteAt(int32_t address) const {
    std::optional<int32_t> offset = OffsetOfAddress(address);
    return offset ? Memory[*offset] : 0xFF;
  }
};

}  // namespace tolvane::test
