// What the core tells the page while it works, and asks of it: the trace,
// a run's progress and stages, a backup to hand to the user, a question.
// Each calls the page's handler of that name on Module (page.js); the page
// only shows what it is given.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "image/firmware_image.h"
#include "serial/counting_port.h"
#include "session/progress_text.h"
#include "session/run_reporter.h"
#include "session/write_options.h"

namespace tolvane {

// Sends every line of the trace to Module.onLog, with its colours.
void RouteTraceToPage();

// Asks the page a yes-or-no question in a dialog (Module.onQuestion) and
// waits for the answer on the event loop.
bool AskPage(const std::string& caption, const std::string& text);

// A run as the page shows it: progress with its words (Module.onProgress),
// the wait for the monitor (onWaiting), the line's rate (onStatus), the
// moment the device image is whole (onDeviceImageRead); a stop is asked
// through Module.stopRequested().
class PageReporter final : public IRunReporter {
 public:
  PageReporter(RunKind kind, const CountingPort& port, std::function<void()> imageRead)
      : m_Kind(kind), m_Port(port), m_ImageRead(std::move(imageRead)) {}

  void Progress(const RunProgress& progress) override;
  void Phase(ProgressPhase phase, int32_t blocks) override;
  void Waiting(double secondsLeft) override;
  void DeviceImageRead() override;
  bool StopRequested() override;

 private:
  using Clock = std::chrono::steady_clock;
  void Rate();

  RunKind m_Kind;
  const CountingPort& m_Port;
  std::function<void()> m_ImageRead;
  StageProgress m_Stage;
  int32_t m_StageStart = 0;
  Clock::time_point m_Start = Clock::now();
  Clock::time_point m_RateStart = Clock::now();
  int64_t m_RateBytes = 0;
  Clock::time_point m_Shown{};
};

// A write's backup as a download (Module.onBackup: the name, the device's
// identifier, the HEX text); the page keeps the last ones in its storage.
class PageBackups final : public IBackupStore {
 public:
  bool Save(const FirmwareImage& device, std::string& where, std::string* error) override;
};

}  // namespace tolvane
