// The wire of an emulated serial line, both ways. Each byte takes its time on
// the line (ten bits at the baud rate): what the device says is queued with
// the moment each byte's stop bit ends, what the client sends is stamped with
// the moment it is through, and the device thread meets those moments closely
// (sleeping to just short of a reply's end and spinning the rest). Without a
// baud rate, bytes take no time.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace tolvane::sim {

// The monotonic clock in nanoseconds.
int64_t NowNs();

struct TimedByte {
  uint8_t Byte;
  int64_t AtNs;  // when its stop bit ends
};

// Spinning takes a processor: devices of one process spin only while a
// processor is left over for their clients and the kernel's line work, and
// otherwise sleep as usual. A slot is held while it lives.
class SpinSlot {
 public:
  SpinSlot();
  ~SpinSlot();
  SpinSlot(const SpinSlot&) = delete;
  SpinSlot& operator=(const SpinSlot&) = delete;
  explicit operator bool() const { return m_Taken; }

 private:
  bool m_Taken = false;
};

class WirePacing {
 public:
  // baudRate 0: no emulation.
  explicit WirePacing(int32_t baudRate);

  bool Emulated() const { return m_ByteNs > 0; }

  // The device says bytes, starting no earlier than startNs.
  void Schedule(const std::vector<uint8_t>& bytes, int64_t startNs);
  // Drops what the device has not said yet (a reset cuts it off).
  void CutOff(int64_t nowNs);
  bool OutputQueued() const { return !m_Out.empty(); }
  // Takes at most `room` bytes whose time has come by nowNs; lastAtNs is the
  // time of the last one taken.
  size_t TakeDue(int64_t nowNs, uint8_t* out, size_t room, int64_t& lastAtNs);
  // When the thread should next put bytes on the line: the last byte due
  // within a short batch of the first one. replyEnd tells that this batch
  // ends all that is queued, whose timing the client sees. Max when nothing
  // is queued.
  int64_t OutputDeadline(bool& replyEnd) const;

  // How many of the client's bytes the device's end takes from the line at
  // nowNs (its queue is bounded: a client that sends faster than the line
  // carries finds its bytes waiting in the line), and when there is room
  // again once none is left.
  size_t InputRoom(int64_t nowNs) const;
  int64_t InputRoomAtNs() const;
  // The client's bytes, read from the line at nowNs.
  void Arrive(const uint8_t* bytes, size_t count, int64_t nowNs);
  bool InputWaiting() const { return !m_In.empty(); }
  // Takes the oldest byte the client sent; false when there is none.
  bool NextInput(TimedByte& byte);
  void DropInput() { m_In.clear(); }

  // Sleeping alone wakes up to 150 us late on a busy or virtual machine:
  // when the deadline ends a reply, wake this much earlier and spin.
  int64_t WakeTime(int64_t deadlineNs, bool replyEnd) const;
  // Spins until the deadline when a processor is free for it; false when
  // the thread must sleep instead.
  static bool SpinUntil(int64_t deadlineNs, const std::atomic<bool>& stop);

 private:
  int64_t m_ByteNs = 0;  // wire time of one byte, 0: no emulation
  std::deque<TimedByte> m_In;
  std::deque<TimedByte> m_Out;
  int64_t m_InFreeNs = 0;   // when the client-to-device wire is free again
  int64_t m_OutFreeNs = 0;  // the same for the device-to-client wire
};

}  // namespace tolvane::sim
