// A sleep in the page waits on the browser's event loop. Without threads,
// Emscripten's own sleep spins and holds the page: the serial port's reader
// could not fill its queue meanwhile, and the page would not paint. The
// core's pauses (the link's, the built-in device's wait for its next byte)
// are std::this_thread::sleep_for, which ends in nanosleep: this one unwinds
// to the event loop through Asyncify and comes back when the time is up.
#include <emscripten.h>
#include <time.h>

#include <cerrno>

namespace {

// clang-format off
EM_ASYNC_JS(void, tolvane_sleep_ms, (double ms), {
  await Module['sleepOnEventLoop'](ms);
});
// clang-format on

}  // namespace

extern "C" int nanosleep(const struct timespec* request, struct timespec* remaining) {
  if (request == nullptr || request->tv_nsec < 0 || request->tv_nsec >= 1'000'000'000) {
    errno = EINVAL;
    return -1;
  }
  tolvane_sleep_ms(static_cast<double>(request->tv_sec) * 1e3 + static_cast<double>(request->tv_nsec) / 1e6);
  if (remaining != nullptr) *remaining = {};
  return 0;
}
