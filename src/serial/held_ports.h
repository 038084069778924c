// The ports this process holds, with the line settings found at their open,
// for GiveBackPortsNow: a fixed table that a signal handler may walk (no
// lock, no allocation). A slot is claimed first, then filled, then made
// visible by its handle. Ports beyond the table are still given back by
// their own closing; only this shortcut misses them. Each backend keeps one
// table of its handle and settings types.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <mutex>

namespace tolvane {

// Handle: an integer or pointer type; free: no port there; claimed: a slot
// being filled.
template <typename Handle, typename Settings>
class HeldPorts {
 public:
  HeldPorts(Handle free, Handle claimed) : kFree(free), kClaimed(claimed) {
    for (Slot& slot : m_Slots) slot.Port.store(free);
  }

  // The first one also has the ports given back at exit() (GiveBack must be
  // the platform's GiveBackPortsNow).
  void Hold(Handle handle, const Settings& found, void (*giveBack)()) {
    static std::once_flag registered;
    std::call_once(registered, [giveBack] {
      s_GiveBack = giveBack;
      std::atexit([] { s_GiveBack(); });
    });
    for (Slot& slot : m_Slots) {
      Handle expected = kFree;
      if (!slot.Port.compare_exchange_strong(expected, kClaimed)) continue;
      slot.Found = found;
      slot.Port.store(handle);
      return;
    }
  }

  void Release(Handle handle) {
    for (Slot& slot : m_Slots) {
      Handle expected = handle;
      if (slot.Port.compare_exchange_strong(expected, kFree)) return;
    }
  }

  // Calls fn(handle, settings) for each port held now; safe in a signal handler.
  template <typename Fn>
  void ForEach(Fn fn) {
    for (Slot& slot : m_Slots) {
      const Handle handle = slot.Port.load();
      if (handle != kFree && handle != kClaimed) fn(handle, slot.Found);
    }
  }

 private:
  struct Slot {
    std::atomic<Handle> Port;
    Settings Found{};
  };
  const Handle kFree;
  const Handle kClaimed;
  static constexpr size_t kSlots = 64;
  Slot m_Slots[kSlots];
  static inline void (*s_GiveBack)() = nullptr;
};

}  // namespace tolvane
