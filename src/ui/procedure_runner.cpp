#include "ui/procedure_runner.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <chrono>

namespace tolvane {

ProcedureRunner::ProcedureRunner(IBytePort& port, QObject* parent) : QObject(parent), m_Counted(port) {
  qRegisterMetaType<tolvane::RunResult>();
}

ProcedureRunner::~ProcedureRunner() {
  m_Stop = true;
  // The worker may be waiting for this thread (the image shown): keep
  // serving it until it has ended.
  while (m_Busy) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (m_Worker.joinable()) m_Worker.join();
}

bool ProcedureRunner::Start(const RunRequest& request, FirmwareImage& device) {
  if (m_Busy) return false;
  if (m_Worker.joinable()) m_Worker.join();
  m_Busy = true;
  m_Stop = false;
  m_WaitingLeft = 0;
  {
    std::lock_guard lock(m_Mutex);
    m_Progress = {};
    m_Phase.reset();
    m_PhaseStart = m_PhaseBlocks = 0;
  }
  m_Worker = std::thread([this, request, &device] {
    RunResult result = RunOnPort(m_Counted, request, device, *this);
    QMetaObject::invokeMethod(
        this, [this, result = std::move(result)]() mutable { Conclude(std::move(result)); }, Qt::QueuedConnection);
  });
  return true;
}

void ProcedureRunner::Conclude(RunResult result) {
  if (m_Worker.joinable()) m_Worker.join();
  m_Busy = false;
  m_WaitingLeft = 0;
  emit Finished(std::move(result));
}

RunProgress ProcedureRunner::Progress() const {
  std::lock_guard lock(m_Mutex);
  return m_Progress;
}

void ProcedureRunner::Progress(const RunProgress& progress) {
  std::lock_guard lock(m_Mutex);
  m_Progress = progress;
}

StageProgress ProcedureRunner::Stage() const {
  std::lock_guard lock(m_Mutex);
  StageProgress stage;
  stage.Phase = m_Phase;
  stage.Total = m_PhaseBlocks;
  stage.Done = std::max(m_Progress.Done - m_PhaseStart, 0);
  return stage;
}

void ProcedureRunner::Phase(ProgressPhase phase, int32_t blocks) {
  std::lock_guard lock(m_Mutex);
  m_Phase = phase;
  m_PhaseStart = m_Progress.Done;
  m_PhaseBlocks = blocks;
}

void ProcedureRunner::DeviceImageRead() {
  if (OnDeviceImageRead) QMetaObject::invokeMethod(this, OnDeviceImageRead, Qt::BlockingQueuedConnection);
}

}  // namespace tolvane
