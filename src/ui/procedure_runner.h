// Runs one programming procedure at a time on a worker thread, so the window
// stays painted and can show progress and take a Cancel. What the procedure
// must show (the file image before a verdict, the question about a damaged
// file) is done on the window's thread while the worker waits for it.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "protocol/procedures.h"
#include "serial/byte_port.h"

namespace tolvane {

class ProcedureRunner : public QObject, private IProcedureObserver {
  Q_OBJECT
 public:
  using Work = std::function<ProcedureStatus(Procedures&)>;

  ProcedureRunner(IBytePort& port, QObject* parent = nullptr);
  // Asks a running procedure to stop and waits for it.
  ~ProcedureRunner() override;

  bool Busy() const { return m_Busy; }
  // Starts the work on the worker thread; false when one is still running.
  bool Start(Work work);
  // The procedure stops before its next block.
  void RequestStop() { m_Stop = true; }
  bool StopRequested() const { return m_Stop; }

  int32_t Done() const { return m_Done; }
  int32_t Total() const { return m_Total; }

  // Called on this object's thread while the worker waits.
  std::function<void()> OnDeviceImageRead;
  std::function<bool(const std::string& question)> OnConfirmSuspect;

 signals:
  // On this object's thread, after the worker has ended. The outcome is the
  // message to show, if the procedure reported one.
  void Finished(tolvane::ProcedureStatus status, std::optional<tolvane::ProcedureOutcome> outcome);

 private:
  void Progress(int32_t done, int32_t total) override;
  void DeviceImageRead() override;
  void Outcome(const ProcedureOutcome& outcome) override;
  bool StopRequested() override { return m_Stop; }
  bool ConfirmSuspect(const std::string& question) override;
  void Conclude(ProcedureStatus status);
  // Runs fn on this object's thread and waits for it to return.
  void OnOwnerThread(const std::function<void()>& fn);

  IBytePort& m_Port;
  std::thread m_Worker;
  std::atomic<bool> m_Busy{false};
  std::atomic<bool> m_Stop{false};
  std::atomic<int32_t> m_Done{0};
  std::atomic<int32_t> m_Total{0};
  std::mutex m_Mutex;
  std::optional<ProcedureOutcome> m_Outcome;
};

}  // namespace tolvane
