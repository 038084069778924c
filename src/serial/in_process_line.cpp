#include "serial/in_process_line.h"

#include "serial/serial_port_backend.h"
#include "serial/system_error.h"

#include <algorithm>
#include <chrono>
#include <map>

namespace tolvane {
namespace {

size_t Take(std::deque<uint8_t>& queue, uint8_t* buffer, size_t max) {
  const size_t n = std::min(max, queue.size());
  std::copy_n(queue.begin(), n, buffer);
  queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(n));
  return n;
}

std::mutex g_RegistryMutex;
std::map<std::string, std::weak_ptr<InProcessLine>> g_Registry;
int g_LastNumber = 0;

class InProcessBackend final : public OSerialPort::Backend {
 public:
  explicit InProcessBackend(std::shared_ptr<InProcessLine> line) : m_Line(std::move(line)) {}
  ~InProcessBackend() override { m_Line->Detach(); }

  bool Configure(int32_t speed, uint32_t& taken) override {
    taken = static_cast<uint32_t>(speed);
    return true;
  }
  bool PrepareReads() override { return true; }
  void Prepare(const std::string&) override {}
  bool ReadNow(uint8_t* buffer, int32_t count, int32_t& received, uint32_t& error) override {
    return Take(buffer, count, received, nullptr, error);
  }
  bool ReadUntil(uint8_t* buffer, int32_t count, int32_t& received, Clock::time_point deadline,
                 uint32_t& error) override {
    return Take(buffer, count, received, &deadline, error);
  }
  bool Write(const uint8_t* data, int32_t count, const std::atomic<bool>* stop, uint32_t& error) override {
    if (m_Line->ClientWrite(data, static_cast<size_t>(std::max(count, 0)), stop, kWriteStallMs)) return true;
    error = m_Line->HungUp() ? kSystemDeviceGone : kWriteStalled;
    return false;
  }
  bool ClearErrors(bool& frameError) override {
    frameError = false;
    return true;
  }
  int32_t PendingOutput() override { return static_cast<int32_t>(m_Line->ClientPending()); }
  void DiscardOutput() override { m_Line->ClientDiscard(); }

 private:
  bool Take(uint8_t* buffer, int32_t count, int32_t& received, const Clock::time_point* deadline, uint32_t& error) {
    received = 0;
    if (m_Line->HungUp()) {
      error = kSystemDeviceGone;
      return false;
    }
    received = static_cast<int32_t>(m_Line->ClientRead(buffer, static_cast<size_t>(std::max(count, 0)), deadline));
    return true;
  }

  std::shared_ptr<InProcessLine> m_Line;
};

}  // namespace

size_t InProcessLine::DeviceRead(uint8_t* buffer, size_t max) {
  std::lock_guard lock(m_Mutex);
  const size_t n = Take(m_ToDevice, buffer, max);
  if (n > 0) m_ToDeviceTaken.notify_all();
  return n;
}

bool InProcessLine::DeviceInputWaiting() {
  std::lock_guard lock(m_Mutex);
  return !m_ToDevice.empty();
}

size_t InProcessLine::DeviceWrite(const uint8_t* data, size_t count) {
  std::lock_guard lock(m_Mutex);
  if (!m_Attached || m_HungUp) return 0;
  const size_t n = std::min(count, kClientBuffer - std::min(kClientBuffer, m_ToClient.size()));
  m_ToClient.insert(m_ToClient.end(), data, data + n);
  m_ToClientChanged.notify_all();
  return n;
}

void InProcessLine::DeviceWait(int64_t timeoutNs) {
  std::unique_lock lock(m_Mutex);
  auto ready = [this] { return !m_ToDevice.empty() || m_Woken; };
  if (timeoutNs < 0)
    m_ToDeviceChanged.wait(lock, ready);
  else
    m_ToDeviceChanged.wait_for(lock, std::chrono::nanoseconds(timeoutNs), ready);
  m_Woken = false;
}

void InProcessLine::Wake() {
  std::lock_guard lock(m_Mutex);
  m_Woken = true;
  m_ToDeviceChanged.notify_all();
}

void InProcessLine::HangUp() {
  std::lock_guard lock(m_Mutex);
  m_HungUp = true;
  m_ToClient.clear();
  m_ToClientChanged.notify_all();
  m_ToDeviceTaken.notify_all();
}

bool InProcessLine::Attach() {
  std::lock_guard lock(m_Mutex);
  if (m_Attached || m_HungUp) return false;
  m_Attached = true;
  m_ToClient.clear();
  return true;
}

void InProcessLine::Detach() {
  std::lock_guard lock(m_Mutex);
  m_Attached = false;
}

bool InProcessLine::HungUp() {
  std::lock_guard lock(m_Mutex);
  return m_HungUp;
}

bool InProcessLine::ClientWrite(const uint8_t* data, size_t count, const std::atomic<bool>* stop, int stallMs) {
  using Clock = std::chrono::steady_clock;
  std::unique_lock lock(m_Mutex);
  auto progress = Clock::now();
  size_t done = 0;
  while (done < count) {
    if (m_HungUp || (stop != nullptr && stop->load())) return false;
    const size_t room = kDeviceBuffer - std::min(kDeviceBuffer, m_ToDevice.size());
    if (room > 0) {
      const size_t n = std::min(room, count - done);
      m_ToDevice.insert(m_ToDevice.end(), data + done, data + done + n);
      done += n;
      progress = Clock::now();
      m_ToDeviceChanged.notify_all();
      continue;
    }
    // Woken by the device taking bytes; a stop flag is looked at every slice.
    const auto slice =
        std::min(progress + std::chrono::milliseconds(stallMs), Clock::now() + std::chrono::milliseconds(20));
    m_ToDeviceTaken.wait_until(lock, slice);
    if (Clock::now() - progress >= std::chrono::milliseconds(stallMs)) return false;
  }
  return true;
}

size_t InProcessLine::ClientPending() {
  std::lock_guard lock(m_Mutex);
  return m_ToDevice.size();
}

void InProcessLine::ClientDiscard() {
  std::lock_guard lock(m_Mutex);
  m_ToDevice.clear();
  m_ToDeviceTaken.notify_all();
}

size_t InProcessLine::ClientRead(uint8_t* buffer, size_t count, const std::chrono::steady_clock::time_point* deadline) {
  std::unique_lock lock(m_Mutex);
  size_t received = Take(m_ToClient, buffer, count);
  if (deadline == nullptr) return received;
  while (received < count && !m_HungUp) {
    if (m_ToClientChanged.wait_until(lock, *deadline) == std::cv_status::timeout && m_ToClient.empty()) break;
    received += Take(m_ToClient, buffer + received, count - received);
  }
  return received;
}

std::shared_ptr<InProcessLine> CreateInProcessLine(std::string& name) {
  auto line = std::make_shared<InProcessLine>();
  std::lock_guard lock(g_RegistryMutex);
  std::erase_if(g_Registry, [](const auto& entry) { return entry.second.expired(); });
  name = "SIM" + std::to_string(++g_LastNumber);
  g_Registry[name] = line;
  return line;
}

std::unique_ptr<OSerialPort::Backend> OpenInProcessPort(const std::string& name, uint32_t& error) {
  error = 0;
  std::shared_ptr<InProcessLine> line;
  {
    std::lock_guard lock(g_RegistryMutex);
    auto it = g_Registry.find(name);
    if (it == g_Registry.end()) return nullptr;
    line = it->second.lock();
  }
  if (!line) return nullptr;
  if (!line->Attach()) {
    error = line->HungUp() ? kSystemDeviceGone : kSystemBusy;
    return nullptr;
  }
  return std::make_unique<InProcessBackend>(std::move(line));
}

}  // namespace tolvane
