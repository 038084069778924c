// Runs one run of the session at a time on a worker thread, so the window
// stays painted and can show progress and take a Cancel: the window's side
// of the run is this thread hop. What the run must show before it ends (the
// file image before a verdict) is done on the window's thread while the
// worker waits for it.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "image/firmware_image.h"
#include "serial/counting_port.h"
#include "session/device_run.h"
#include "session/progress_text.h"
#include "ui/run_result_meta.h"

namespace tolvane {

class ProcedureRunner : public QObject, private IRunReporter {
  Q_OBJECT
 public:
  explicit ProcedureRunner(IBytePort& port, QObject* parent = nullptr);
  // Asks a running procedure to stop and waits for it.
  ~ProcedureRunner() override;

  bool Busy() const { return m_Busy; }
  // Starts the run on the worker thread, into device; false when one is
  // still running. The request's file must outlive the run.
  bool Start(const RunRequest& request, FirmwareImage& device);
  // The procedure stops before its next block.
  void RequestStop() { m_Stop = true; }
  bool StopRequested() const { return m_Stop; }

  // The latest progress, from any thread: of the whole run, and of its stage.
  RunProgress Progress() const;
  StageProgress Stage() const;
  // Bytes the runs have moved through the port either way, in all.
  int64_t BytesMoved() const { return m_Counted.Moved(); }
  // Seconds left of a wait for the monitor (0: not waiting).
  double WaitingLeft() const { return m_WaitingLeft; }

  // Called on this object's thread while the worker waits.
  std::function<void()> OnDeviceImageRead;

 signals:
  // On this object's thread, after the worker has ended.
  void Finished(tolvane::RunResult result);

 private:
  void Progress(const RunProgress& progress) override;
  void Phase(ProgressPhase phase, int32_t blocks) override;
  void DeviceImageRead() override;
  void Waiting(double secondsLeft) override { m_WaitingLeft = secondsLeft; }
  bool StopRequested() override { return m_Stop; }
  void Conclude(RunResult result);

  CountingPort m_Counted;
  std::thread m_Worker;
  std::atomic<bool> m_Busy{false};
  std::atomic<bool> m_Stop{false};
  std::atomic<double> m_WaitingLeft{0};
  mutable std::mutex m_Mutex;
  RunProgress m_Progress;
  std::optional<ProgressPhase> m_Phase;
  int32_t m_PhaseStart = 0;  // the run's blocks done when the stage began
  int32_t m_PhaseBlocks = 0;
};

}  // namespace tolvane
