// An in-memory byte port for the link tests: records what is sent, serves
// queued input, and lets a test answer each write as a device would.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "serial/byte_port.h"

namespace tolvane::test {

class FakePort : public IBytePort {
 public:
  using Clock = std::chrono::steady_clock;
  struct Sent {
    std::vector<uint8_t> Bytes;
    Clock::time_point At;
    int32_t PendingBefore = 0;  // what the port still held for sending
  };

  bool Opened = true;
  std::vector<Sent> Writes;   // one entry per Write call
  std::deque<uint8_t> Input;  // what the reads take from
  int32_t Pending = 0;
  int32_t Discards = 0;
  uint32_t Error = 0;
  int32_t Frames = 0;
  std::string OpenErrorText;
  // Called with each write's bytes; may push a reply into Input.
  std::function<void(FakePort&, const std::vector<uint8_t>&)> Responder;

  void Queue(std::initializer_list<uint8_t> bytes) { Input.insert(Input.end(), bytes); }
  void Queue(size_t count, uint8_t value) { Input.insert(Input.end(), count, value); }

  std::vector<uint8_t> AllSent() const {
    std::vector<uint8_t> all;
    for (const Sent& s : Writes) all.insert(all.end(), s.Bytes.begin(), s.Bytes.end());
    return all;
  }

  bool IsOpen() const override { return Opened; }
  bool Write(const uint8_t* data, int32_t count) override {
    if (!Opened) return false;
    Writes.push_back({std::vector<uint8_t>(data, data + count), Clock::now(), Pending});
    if (Responder) Responder(*this, Writes.back().Bytes);
    return true;
  }
  bool Read(uint8_t* buffer, int32_t max, int32_t& received) override { return Take(buffer, max, received); }
  bool ReadTimed(uint8_t* buffer, int32_t wanted, int32_t& received, int32_t) override {
    return Take(buffer, wanted, received);
  }
  bool ClearLineErrors() override { return Opened; }
  int32_t PendingOutput() const override { return Pending; }
  void DiscardOutput() override {
    ++Discards;
    Pending = 0;
  }
  uint32_t LastError() const override { return Error; }
  int32_t FrameErrors() const override { return Frames; }
  const std::string& ErrorText() const override { return OpenErrorText; }

 private:
  bool Take(uint8_t* buffer, int32_t max, int32_t& received) {
    received = 0;
    if (!Opened) return false;
    while (received < max && !Input.empty()) {
      buffer[received++] = Input.front();
      Input.pop_front();
    }
    return true;
  }
};

}  // namespace tolvane::test
