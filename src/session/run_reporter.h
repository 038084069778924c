// What a run tells the program that drives it while it goes on: progress,
// the line's state while capturing, messages for the user, and the moment
// the device image is complete; and what it asks: whether to stop. Called on
// the thread that runs it (a worker in the window), so a window hands
// anything visual to its own thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "protocol/procedures.h"

namespace tolvane {

enum class MessageLevel { Info, Warning, Error };

// Blocks done of all blocks of the run (a write that verifies counts its
// writes and its reads together), and the bytes on the wire for them.
struct RunProgress {
  int32_t Done = 0;
  int32_t Total = 0;
  int64_t WireBytes = 0;
  int64_t WireTotal = 0;
};

class IRunReporter {
 public:
  virtual ~IRunReporter() = default;
  virtual void Progress(const RunProgress& progress) { (void)progress; }
  // A stage of the procedure begins, with its own count of blocks (its
  // progress is the run's Done since then).
  virtual void Phase(ProgressPhase phase, int32_t blocks) { (void)phase, (void)blocks; }
  // A line for the user beside the outcome (the throughput while capturing).
  virtual void Message(MessageLevel level, const std::string& text) { (void)level, (void)text; }
  // The device image is complete (before the comparison of a verify).
  virtual void DeviceImageRead() {}
  // Waiting for the device's monitor, this much longer at most (about once a
  // second); 0 once it has answered.
  virtual void Waiting(double secondsLeft) { (void)secondsLeft; }
  // Asked before every block but the first, and while capturing.
  virtual bool StopRequested() { return false; }
};

// The time a run still needs, by the bytes its wire still has to carry
// (write blocks take longer than read blocks); nothing before any rate is
// known or once it is done. elapsed: seconds since the run began.
std::optional<double> SecondsLeft(const RunProgress& progress, double elapsed);

}  // namespace tolvane
