// The dump is composed on every load, read and page switch: composing must
// reuse the composer's buffers and allocate nothing.
#include "image/dump_composer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> g_Allocations{0};
}

void* operator new(std::size_t size) {
  ++g_Allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace tolvane {
namespace {

TEST(DumpComposerAllocationTest, ComposingAllocatesNothing) {
  FirmwareImage file, device;
  for (int32_t i = 0; i < kFlashSize; i += 4) file[i] = 0x00;  // the most runs a dump can have
  for (int32_t k = 0; k < kRegionCount; ++k) file.Slot(k)[0] = 0x00;
  DumpComposer dump;
  const long before = g_Allocations.load();
  dump.Compose(file, file, device);
  dump.Compose(device, device, device);
  dump.Compose(device, file, device);
  EXPECT_EQ(g_Allocations.load(), before);
  EXPECT_EQ(dump.FlashRuns().size(), 16384u);
  EXPECT_EQ(dump.RegionRuns().size(), 6u);
}

}  // namespace
}  // namespace tolvane
