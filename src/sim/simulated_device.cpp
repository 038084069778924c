// The simulated device on a pseudo-terminal: one thread that reads what the
// client sends, stamps each byte with the time its stop bit would end on a
// real line, lets the monitor machine answer, and puts the reply bytes on the
// line no earlier than a real line would deliver them.
#include "sim/simulated_device.h"

#include "image/hex_reader.h"
#include "image/hex_writer.h"
#include "sim/monitor_machine.h"
#include "sim/wire_pacing.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <mutex>
#include <thread>

namespace tolvane {
namespace {

using sim::NowNs;
using sim::SpinSlot;
using sim::TimedByte;

// How long after a reply's last byte the thread keeps reading the line
// without sleeping, since the client's next frame follows within tens of
// microseconds: waking from a sleep for it would stamp it late.
constexpr int64_t kAwaitFrameNs = 200'000;

// How often an idle device looks whether its client left the line locked.
constexpr int64_t kClientCheckNs = 100'000'000;

std::string SystemText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

class SimulatedDevice::Engine {
 public:
  Engine(const SimulatedDeviceOptions& options, const FirmwareImage& memory)
      : m_Options(options), m_Memory(memory), m_Machine(options, m_Memory, m_Stats), m_Wire(options.BaudRate) {}

  ~Engine() {
    CloseLine();
    for (int fd : {m_WakeRead, m_WakeWrite})
      if (fd >= 0) close(fd);
  }

  bool Open(std::string& path, std::string* error);
  // Powers the device up (or leaves it off); before the thread starts.
  void Begin();
  void Serve();
  void CloseLine();

  void RequestStop() {
    m_StopAsked = true;
    Wake();
  }
  void RequestReset() {
    m_ResetAsked = true;
    Wake();
  }

  SimState State() const {
    std::lock_guard lock(m_Mutex);
    return m_Machine.State();
  }
  SimulatedDeviceStats Stats() const {
    std::lock_guard lock(m_Mutex);
    return m_Stats;
  }
  FirmwareImage Memory() const {
    std::lock_guard lock(m_Mutex);
    return m_Memory;
  }
  void SetMemory(const FirmwareImage& image) {
    std::lock_guard lock(m_Mutex);
    m_Memory = image;
  }

 private:
  void Wake() {
    const uint8_t b = 1;
    if (m_WakeWrite >= 0) [[maybe_unused]]
      auto n = write(m_WakeWrite, &b, 1);
  }
  // Runs everything due by nowNs; false once the line has vanished.
  bool Step(int64_t nowNs);
  // Writes what is due by nowNs; true when that ended everything queued.
  bool Flush(int64_t nowNs);
  // The next moment something is due; replyEnd tells that it is the last
  // queued byte of the line, whose timing the client sees.
  int64_t NextDeadline(bool& replyEnd) const;
  // Reads what the client has sent; true when there was something.
  bool Receive(int64_t nowNs);
  // Reads the line without sleeping until something comes or untilNs.
  void AwaitFrame(int64_t untilNs);
  // A client that ended without closing the port (killed) leaves the line
  // exclusive, and every later open fails as busy: this clears it once the
  // client is gone.
  void ReleaseDepartedClient(int64_t nowNs);

  const SimulatedDeviceOptions& m_Options;
  mutable std::mutex m_Mutex;  // guards memory, stats and the machine
  FirmwareImage m_Memory;
  SimulatedDeviceStats m_Stats;
  sim::MonitorMachine m_Machine;

  int m_Master = -1;
  int m_Slave = -1;  // held open so the line stays up while no client has it open
  int m_WakeRead = -1;
  int m_WakeWrite = -1;
  std::atomic<bool> m_StopAsked{false};
  std::atomic<bool> m_ResetAsked{false};

  sim::WirePacing m_Wire;
  int64_t m_LastRxNs = 0;
  int64_t m_NextChatterNs = -1;
  int64_t m_PowerOnNs = -1;
  int64_t m_VanishNs = -1;  // when the frame that ends the line has arrived
  int64_t m_NextClientCheckNs = 0;
};

bool SimulatedDevice::Engine::Open(std::string& path, std::string* error) {
  auto fail = [&](const char* what) {
    if (error) *error = SystemText(what);
    CloseLine();
    return false;
  };
  m_Master = posix_openpt(O_RDWR | O_NOCTTY);
  if (m_Master < 0) return fail("posix_openpt");
  if (grantpt(m_Master) != 0 || unlockpt(m_Master) != 0) return fail("grantpt/unlockpt");
  {
    static std::mutex ptsnameMutex;  // ptsname returns a shared buffer
    std::lock_guard lock(ptsnameMutex);
    const char* name = ptsname(m_Master);
    if (!name) return fail("ptsname");
    path = name;
  }
  fcntl(m_Master, F_SETFD, FD_CLOEXEC);
  fcntl(m_Master, F_SETFL, fcntl(m_Master, F_GETFL) | O_NONBLOCK);
  m_Slave = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_Slave < 0) return fail("open pseudo-terminal");
  // Raw: every byte passes untranslated in both directions.
  termios tio{};
  if (tcgetattr(m_Slave, &tio) != 0) return fail("tcgetattr");
  cfmakeraw(&tio);
  if (tcsetattr(m_Slave, TCSANOW, &tio) != 0) return fail("tcsetattr");
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return fail("pipe");
  m_WakeRead = pipeFds[0];
  m_WakeWrite = pipeFds[1];
  for (int fd : pipeFds) {
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  return true;
}

void SimulatedDevice::Engine::CloseLine() {
  for (int* fd : {&m_Master, &m_Slave}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

bool SimulatedDevice::Engine::Step(int64_t nowNs) {
  std::lock_guard lock(m_Mutex);
  if (m_ResetAsked.exchange(false) || (m_PowerOnNs >= 0 && nowNs >= m_PowerOnNs)) {
    // A reset cuts off whatever the device was saying.
    m_PowerOnNs = -1;
    m_Machine.Reset(nowNs);
    ++m_Stats.Resets;
    m_Wire.CutOff(nowNs);
  }
  // Bytes are fed as soon as they are read, stamped with their arrival:
  // whatever they cause is scheduled from that stamp, so the thread need not
  // wake for every byte of a frame.
  TimedByte in{};
  while (m_VanishNs < 0 && m_Wire.NextInput(in)) {
    m_LastRxNs = in.AtNs;
    sim::MonitorAction action = m_Machine.Feed(in.Byte, in.AtNs);
    if (action.Vanish) {
      m_VanishNs = in.AtNs;
      break;
    }
    if (!action.Reply.empty()) m_Wire.Schedule(action.Reply, in.AtNs + action.DelayNs);
  }
  if (m_VanishNs >= 0) m_Wire.DropInput();  // the device is going: nothing more is heard
  if (m_VanishNs >= 0 && nowNs >= m_VanishNs) {
    CloseLine();
    m_Machine.MarkVanished();
    return false;
  }
  m_Machine.Tick(nowNs);
  if (m_NextChatterNs >= 0 && nowNs >= m_NextChatterNs) {
    const int64_t periodNs = int64_t{m_Options.ChatterPeriodMs} * 1'000'000;
    const bool idleMonitor = m_Machine.State() == SimState::Monitor && m_Machine.BetweenFrames() &&
                             !m_Wire.OutputQueued() && nowNs - m_LastRxNs >= periodNs;
    if (m_Machine.State() == SimState::Firmware || idleMonitor)
      m_Wire.Schedule({m_Options.ChatterText.begin(), m_Options.ChatterText.end()}, nowNs);
    m_NextChatterNs = nowNs + periodNs;
  }
  return true;
}

bool SimulatedDevice::Engine::Flush(int64_t nowNs) {
  uint8_t buffer[4096];
  bool ended = false;
  int64_t lastAtNs = 0;
  for (size_t n; (n = m_Wire.TakeDue(nowNs, buffer, sizeof buffer, lastAtNs)) > 0;) {
    // With nobody reading, the line's buffer fills and the rest is lost, as
    // on a real line with no listener.
    const ssize_t written = write(m_Master, buffer, n);
    const int64_t lateNs = NowNs() - lastAtNs;
    std::lock_guard lock(m_Mutex);
    if (written > 0) m_Stats.BytesSent += written;
    if (!m_Wire.OutputQueued()) {
      m_Stats.LateNsMax = std::max(m_Stats.LateNsMax, lateNs);
      m_Stats.LateNsTotal += lateNs;
      ++m_Stats.RepliesTimed;
      ended = true;
    }
  }
  return ended;
}

int64_t SimulatedDevice::Engine::NextDeadline(bool& replyEnd) const {
  bool outputEnd = false;
  const int64_t output = m_Wire.OutputDeadline(outputEnd);
  int64_t deadline = output;
  auto consider = [&](int64_t at) {
    if (at >= 0) deadline = std::min(deadline, at);
  };
  consider(m_VanishNs);
  consider(m_Machine.CaptureDeadlineNs());
  consider(m_NextChatterNs);
  consider(m_PowerOnNs);
  replyEnd = outputEnd && deadline == output;
  return deadline;
}

bool SimulatedDevice::Engine::Receive(int64_t nowNs) {
  uint8_t buffer[4096];
  bool received = false;
  for (;;) {
    const ssize_t n = read(m_Master, buffer, sizeof buffer);
    if (n <= 0) return received;
    received = true;
    const int64_t dropped = m_Wire.Arrive(buffer, static_cast<size_t>(n), nowNs);
    if (dropped > 0) {
      std::lock_guard lock(m_Mutex);
      m_Stats.BytesDropped += dropped;
    }
  }
}

void SimulatedDevice::Engine::AwaitFrame(int64_t untilNs) {
  const SpinSlot slot;
  if (!slot) return;
  for (int64_t nowNs = NowNs(); nowNs < untilNs && !m_StopAsked; nowNs = NowNs()) {
    // Asking how much is waiting never sleeps; a read does while the
    // kernel still moves the client's bytes across, and waking from that
    // stamps the frame late.
    int waiting = 0;
    if (ioctl(m_Master, FIONREAD, &waiting) == 0 && waiting == 0) continue;
    if (Receive(nowNs)) return;
  }
}

void SimulatedDevice::Engine::ReleaseDepartedClient(int64_t nowNs) {
  if (nowNs < m_NextClientCheckNs || m_Slave < 0) return;
  m_NextClientCheckNs = nowNs + kClientCheckNs;
#if defined(TIOCGEXCL)
  int exclusive = 0;
  if (ioctl(m_Slave, TIOCGEXCL, &exclusive) != 0 || exclusive == 0) return;
#endif
  // A client holds the line's lock for as long as it holds the line; a lock
  // that is free means the client is gone.
  if (flock(m_Slave, LOCK_EX | LOCK_NB) != 0) return;
  flock(m_Slave, LOCK_UN);
  ioctl(m_Slave, TIOCNXCL);
}

void SimulatedDevice::Engine::Begin() {
  const int64_t startNs = NowNs();
  m_Machine.Reset(startNs);
  if (m_Options.PowerOnAfterMs > 0) {
    m_Machine.PowerOff();
    m_PowerOnNs = startNs + int64_t{m_Options.PowerOnAfterMs} * 1'000'000;
  }
  if (m_Options.ChatterPeriodMs > 0) m_NextChatterNs = startNs + int64_t{m_Options.ChatterPeriodMs} * 1'000'000;
  m_LastRxNs = startNs;
}

void SimulatedDevice::Engine::Serve() {
#if defined(__linux__)
  // Wake-ups land within microseconds of the wire times, not 50 us late.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
  if (m_Wire.Emulated()) {
    // Where allowed, keep busy neighbours from delaying the wire times; the
    // thread sleeps nearly all the time, so it takes almost nothing from them.
    sched_param param{};
    param.sched_priority = 1;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
  }
  while (!m_StopAsked) {
    int64_t nowNs = NowNs();
    if (!Step(nowNs)) return;
    if (Flush(nowNs) && m_Wire.Emulated() && !m_Wire.InputWaiting()) {
      AwaitFrame(NowNs() + kAwaitFrameNs);
      if (m_Wire.InputWaiting()) continue;
    }

    ReleaseDepartedClient(nowNs);
    bool replyEnd = false;
    int64_t deadline = NextDeadline(replyEnd);
    if (deadline == std::numeric_limits<int64_t>::max()) deadline = m_NextClientCheckNs;
    // The end of a reply is met by sleeping to just short of it and spinning
    // the rest: a sleep alone wakes tens of microseconds late.
    int64_t wakeNs = m_Wire.WakeTime(deadline, replyEnd);
    if (replyEnd && wakeNs <= nowNs) {
      if (sim::WirePacing::SpinUntil(deadline, m_StopAsked)) continue;
      wakeNs = deadline;
    }
    timespec timeout{};
    timespec* wait = nullptr;
    if (deadline != std::numeric_limits<int64_t>::max()) {
      const int64_t left = std::max<int64_t>(0, wakeNs - nowNs);
      timeout.tv_sec = static_cast<time_t>(left / 1'000'000'000);
      timeout.tv_nsec = static_cast<long>(left % 1'000'000'000);
      wait = &timeout;
    }
    pollfd fds[2] = {{m_Master, POLLIN, 0}, {m_WakeRead, POLLIN, 0}};
    if (ppoll(fds, 2, wait, nullptr) < 0 && errno != EINTR) return;
    nowNs = NowNs();
    if (fds[0].revents & POLLIN) Receive(nowNs);
    if ((fds[0].revents & (POLLHUP | POLLERR)) && !(fds[0].revents & POLLIN)) usleep(1000);
    if (fds[1].revents & POLLIN) {
      uint8_t drain[64];
      while (read(m_WakeRead, drain, sizeof drain) > 0) {
      }
    }
  }
}

// ---------------------------------------------------------------------------

SimulatedDevice::SimulatedDevice(SimulatedDeviceOptions options) : m_Options(std::move(options)) {}

SimulatedDevice::~SimulatedDevice() { Stop(); }

bool SimulatedDevice::Start(std::string* error) {
  if (m_Thread.joinable()) {
    if (error) *error = "the simulated device is already running";
    return false;
  }
  FirmwareImage memory = m_Engine ? m_Engine->Memory() : FactoryImage();
  if (m_Initial) {
    memory = *m_Initial;
    m_Initial.reset();
  } else if (!m_Engine && !m_Options.HexFile.empty()) {
    FirmwareImage file;
    const HexLoadResult loaded = LoadHexFile(m_Options.HexFile, file);
    if (!loaded.FileRead) {
      if (error) *error = m_Options.HexFile + ": " + loaded.OpenError;
      return false;
    }
    // The file brings the firmware; the monitor stays the device's own.
    std::memcpy(&memory[UserArea.Begin], &file[UserArea.Begin], static_cast<size_t>(UserArea.End - UserArea.Begin));
  }
  auto engine = std::make_unique<Engine>(m_Options, memory);
  if (!engine->Open(m_PortPath, error)) return false;
  m_Engine = std::move(engine);
  m_Saved = false;
  m_Engine->Begin();
  m_Thread = std::thread([engine = m_Engine.get()] { engine->Serve(); });
  return true;
}

bool SimulatedDevice::Stop(std::string* error) {
  if (!m_Thread.joinable()) return true;
  m_Engine->RequestStop();
  m_Thread.join();
  m_Engine->CloseLine();
  if (m_Saved || m_Options.SavePath.empty()) return true;
  m_Saved = true;
  return SaveImage(m_Options.SavePath, m_Options.SaveFormat, m_Engine->Memory(), error);
}

void SimulatedDevice::Reset() {
  if (m_Engine) m_Engine->RequestReset();
}

SimState SimulatedDevice::State() const { return m_Engine ? m_Engine->State() : SimState::Off; }

SimulatedDeviceStats SimulatedDevice::Stats() const { return m_Engine ? m_Engine->Stats() : SimulatedDeviceStats{}; }

FirmwareImage SimulatedDevice::Memory() const {
  if (m_Initial) return *m_Initial;
  return m_Engine ? m_Engine->Memory() : FactoryImage();
}

void SimulatedDevice::SetMemory(const FirmwareImage& image) {
  if (m_Thread.joinable())
    m_Engine->SetMemory(image);
  else
    m_Initial = image;
}

bool SimulatedDevice::SaveImage(const std::string& path, SimSaveFormat format, const FirmwareImage& image,
                                std::string* error) {
  return format == SimSaveFormat::Hex ? WriteHexFile(path, image, error) : WriteRawImage(path, image, error);
}

}  // namespace tolvane
