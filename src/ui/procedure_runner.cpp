#include "ui/procedure_runner.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <chrono>

#include "protocol/link.h"

namespace tolvane {

ProcedureRunner::ProcedureRunner(IBytePort& port, QObject* parent) : QObject(parent), m_Port(port) {
  qRegisterMetaType<tolvane::ProcedureStatus>();
  qRegisterMetaType<std::optional<tolvane::ProcedureOutcome>>();
}

ProcedureRunner::~ProcedureRunner() {
  m_Stop = true;
  // The worker may be waiting for this thread (a question, the image shown):
  // keep serving it until it has ended.
  while (m_Busy) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (m_Worker.joinable()) m_Worker.join();
}

bool ProcedureRunner::Start(Work work) {
  if (m_Busy) return false;
  if (m_Worker.joinable()) m_Worker.join();
  m_Busy = true;
  m_Stop = false;
  m_Done = 0;
  m_Total = 0;
  m_Outcome.reset();
  m_Worker = std::thread([this, work = std::move(work)] {
    MonitorLink link(m_Port);
    Procedures procedures(link, *this);
    ProcedureStatus status = work(procedures);
    QMetaObject::invokeMethod(
        this, [this, status] { Conclude(status); }, Qt::QueuedConnection);
  });
  return true;
}

void ProcedureRunner::Conclude(ProcedureStatus status) {
  if (m_Worker.joinable()) m_Worker.join();
  std::optional<ProcedureOutcome> outcome;
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    outcome.swap(m_Outcome);
  }
  m_Busy = false;
  emit Finished(status, outcome);
}

void ProcedureRunner::OnOwnerThread(const std::function<void()>& fn) {
  QMetaObject::invokeMethod(this, fn, Qt::BlockingQueuedConnection);
}

void ProcedureRunner::Progress(int32_t done, int32_t total) {
  m_Total = total;
  m_Done = done;
}

void ProcedureRunner::DeviceImageRead() {
  if (OnDeviceImageRead) OnOwnerThread(OnDeviceImageRead);
}

void ProcedureRunner::Outcome(const ProcedureOutcome& outcome) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  m_Outcome = outcome;
}

bool ProcedureRunner::ConfirmSuspect(const std::string& question) {
  if (!OnConfirmSuspect) return false;
  bool answer = false;
  OnOwnerThread([&] { answer = OnConfirmSuspect(question); });
  return answer;
}

}  // namespace tolvane
