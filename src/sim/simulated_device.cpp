// The simulated device: one thread that reads what the client sends on the
// line (sim_line.h), stamps each byte with the time its stop bit would end on a
// real line, lets the monitor machine answer, and puts the reply bytes on the
// line no earlier than a real line would deliver them.
#include "sim/simulated_device.h"

#include "image/hex_reader.h"
#include "image/hex_writer.h"
#include "sim/monitor_machine.h"
#include "sim/sim_line.h"
#include "sim/wire_pacing.h"

#include <algorithm>
#include <atomic>
#include <cstring>
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
// microseconds: waking from a sleep for it would stamp it late (unless the
// line keeps the times itself).
constexpr int64_t kAwaitFrameNs = 200'000;

// How often an idle device looks whether its client left the line locked.
constexpr int64_t kClientCheckNs = 100'000'000;

int64_t MsToNs(int32_t ms) { return int64_t{ms} * 1'000'000; }

}  // namespace

class SimulatedDevice::Engine {
 public:
  Engine(const SimulatedDeviceOptions& options, const FirmwareImage& memory)
      : m_Options(options), m_Memory(memory), m_Machine(options, m_Memory, m_Stats), m_Wire(options.BaudRate) {}

  bool Open(std::string& path, std::string& webSocketUrl, std::string* error) {
    m_Line = sim::OpenSimLine(m_Options.InProcess, path, error);
    if (m_Line == nullptr) return false;
    return m_Options.WebSocketPort < 0 || m_Line->OpenWebSocketDoor(m_Options.WebSocketPort, webSocketUrl, error);
  }
  // Powers the device up (or leaves it off); before the thread starts.
  void Begin();
  void Serve();
  void CloseLine() { m_Line->HangUp(); }

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
  std::vector<FirmwareImage> JigBoardsTaken() const {
    std::lock_guard lock(m_Mutex);
    return m_Taken;
  }
  int32_t JigBoardOn() const {
    std::lock_guard lock(m_Mutex);
    return m_JigOn;
  }

 private:
  void Wake() { m_Line->Wake(); }
  // Runs everything due by nowNs; false once the line has vanished.
  bool Step(int64_t nowNs);
  // A jig's boards: the one on the line taken away when its time is up,
  // the next switched on after the gap.
  void StepJig(int64_t nowNs);
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

  std::unique_ptr<sim::SimLine> m_Line;
  std::atomic<bool> m_StopAsked{false};
  std::atomic<bool> m_ResetAsked{false};

  sim::WirePacing m_Wire;
  int64_t m_LastRxNs = 0;
  // The client's last bytes came with their times (a WebSocket): no need
  // to stay awake for its next frame.
  bool m_ArrivalsKept = false;
  int64_t m_NextChatterNs = -1;
  int64_t m_PowerOnNs = -1;
  int64_t m_VanishNs = -1;  // when the frame that ends the line has arrived
  int64_t m_NextClientCheckNs = 0;
  bool m_InputHeld = false;  // the client's bytes wait in the line for room

  size_t m_JigNext = 0;     // the next board of the jig to switch on
  int32_t m_JigOn = -1;     // the board on the line (-1: none)
  int64_t m_JigOnNs = -1;   // when the next board is switched on
  int64_t m_JigOffNs = -1;  // when the board on the line is taken away
  int64_t m_RunsSeen = 0;   // run commands before the board's last
  std::vector<FirmwareImage> m_Taken;
};

void SimulatedDevice::Engine::StepJig(int64_t nowNs) {
  if (m_Options.Jig.empty()) return;
  if (m_JigOn >= 0 && m_Stats.RunCommands != m_RunsSeen) {
    m_RunsSeen = m_Stats.RunCommands;
    const int64_t offNs = nowNs + MsToNs(m_Options.JigAfterRunMs);
    if (m_JigOffNs < 0 || offNs < m_JigOffNs) m_JigOffNs = offNs;
  }
  if (m_JigOn >= 0 && m_JigOffNs >= 0 && nowNs >= m_JigOffNs) {
    m_Taken.push_back(m_Memory);
    m_JigOn = -1;
    m_JigOffNs = -1;
    m_Machine.PowerOff();
    m_Wire.CutOff(nowNs);
    if (m_JigNext < m_Options.Jig.size()) m_JigOnNs = nowNs + MsToNs(m_Options.JigGapMs);
  }
  if (m_JigOn < 0 && m_JigOnNs >= 0 && nowNs >= m_JigOnNs) {
    const SimJigBoard& board = m_Options.Jig[m_JigNext];
    m_JigOn = static_cast<int32_t>(m_JigNext++);
    m_JigOnNs = -1;
    m_Memory = board.Memory;
    m_Machine.NewBoard(board.Faults);
    m_Machine.Reset(nowNs);
    ++m_Stats.Resets;
    m_Wire.CutOff(nowNs);
    m_RunsSeen = m_Stats.RunCommands;
    m_JigOffNs = m_Options.JigStayMs > 0 ? nowNs + MsToNs(m_Options.JigStayMs) : -1;
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
    if (!m_Options.Jig.empty() && m_JigNext == 0 && m_JigOn < 0 && m_JigOnNs < 0)
      m_JigOnNs = in.AtNs + MsToNs(m_Options.JigGapMs);
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
  StepJig(nowNs);
  m_Machine.Tick(nowNs);
  if (m_NextChatterNs >= 0 && nowNs >= m_NextChatterNs) {
    const int64_t periodNs = MsToNs(m_Options.ChatterPeriodMs);
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
    const size_t written = m_Line->Write(buffer, n);
    const int64_t lateNs = NowNs() - lastAtNs;
    std::lock_guard lock(m_Mutex);
    m_Stats.BytesSent += static_cast<int64_t>(written);
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
  consider(m_JigOnNs);
  consider(m_JigOffNs);
  if (m_InputHeld) consider(m_Wire.InputRoomAtNs());
  replyEnd = outputEnd && deadline == output;
  return deadline;
}

bool SimulatedDevice::Engine::Receive(int64_t nowNs) {
  uint8_t buffer[4096];
  bool received = false;
  for (;;) {
    const size_t room = std::min(sizeof buffer, m_Wire.InputRoom(nowNs));
    m_InputHeld = room == 0 && m_Line->InputWaiting();
    if (room == 0) return received;
    const size_t n = m_Line->Read(buffer, room);
    if (n == 0) return received;
    received = true;
    // A line that keeps its bytes' times is heard as they arrived, however
    // late the thread woke for them.
    const int64_t arrivedNs = m_Line->LastArrivalNs();
    m_ArrivalsKept = arrivedNs >= 0;
    m_Wire.Arrive(buffer, n, m_ArrivalsKept ? std::min(arrivedNs, nowNs) : nowNs);
  }
}

void SimulatedDevice::Engine::AwaitFrame(int64_t untilNs) {
  const SpinSlot slot;
  if (!slot) return;
  while (NowNs() < untilNs && !m_StopAsked) {
    // Waking from a read that sleeps would stamp the frame late; a time
    // taken before the bytes were seen would stamp it early, before the
    // client sent it, and the reply would beat the wire.
    if (m_Line->InputWaiting() && Receive(NowNs())) return;
  }
}

void SimulatedDevice::Engine::ReleaseDepartedClient(int64_t nowNs) {
  if (nowNs < m_NextClientCheckNs) return;
  m_NextClientCheckNs = nowNs + kClientCheckNs;
  m_Line->ReleaseDepartedClient();
}

void SimulatedDevice::Engine::Begin() {
  const int64_t startNs = NowNs();
  m_Machine.Reset(startNs);
  if (!m_Options.Jig.empty()) {
    // The jig is empty until its first board is switched on, which the
    // operator does once something listens on the line.
    m_Machine.PowerOff();
  } else if (m_Options.PowerOnAfterMs > 0) {
    m_Machine.PowerOff();
    m_PowerOnNs = startNs + MsToNs(m_Options.PowerOnAfterMs);
  }
  if (m_Options.ChatterPeriodMs > 0) m_NextChatterNs = startNs + MsToNs(m_Options.ChatterPeriodMs);
  m_LastRxNs = startNs;
}

void SimulatedDevice::Engine::Serve() {
  sim::TuneServingThread(m_Wire.Emulated());
  while (!m_StopAsked) {
    int64_t nowNs = NowNs();
    if (!Step(nowNs)) return;
    if (Flush(nowNs) && m_Wire.Emulated() && !m_Wire.InputWaiting() && !m_ArrivalsKept) {
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
    const int64_t timeoutNs =
        deadline == std::numeric_limits<int64_t>::max() ? -1 : std::max<int64_t>(0, wakeNs - nowNs);
    if (m_InputHeld) {
      // The line has input the device has no room for: waiting on it would
      // return at once.
      std::this_thread::sleep_for(std::chrono::nanoseconds(std::max<int64_t>(0, wakeNs - NowNs())));
      Receive(NowNs());
      continue;
    }
    if (!m_Line->Wait(timeoutNs)) return;
    if (m_Line->InputWaiting()) Receive(NowNs());
  }
}

// ---------------------------------------------------------------------------

SimulatedDevice::SimulatedDevice(SimulatedDeviceOptions options) : m_Options(std::move(options)) {
  // A jig's boards enter their monitor only when captured.
  if (!m_Options.Jig.empty()) m_Options.RequireCapture = true;
}

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
  } else if (!m_Engine && !InitialImage(m_Options.HexFile, 0, memory, error)) {
    return false;
  }
  auto engine = std::make_unique<Engine>(m_Options, memory);
  if (!engine->Open(m_PortPath, m_WebSocketUrl, error)) return false;
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

std::vector<FirmwareImage> SimulatedDevice::JigBoardsTaken() const {
  return m_Engine ? m_Engine->JigBoardsTaken() : std::vector<FirmwareImage>{};
}

int32_t SimulatedDevice::JigBoardOn() const { return m_Engine ? m_Engine->JigBoardOn() : -1; }

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

bool SimulatedDevice::InitialImage(const std::string& hexFile, uint32_t serial, FirmwareImage& image,
                                   std::string* error) {
  image = FactoryImage(serial);
  if (hexFile.empty()) return true;
  FirmwareImage file;
  const HexLoadResult loaded = LoadHexFile(hexFile, file);
  if (!loaded.FileRead) {
    if (error) *error = hexFile + ": " + loaded.OpenError;
    return false;
  }
  // The file brings the firmware; the monitor stays the device's own.
  std::memcpy(&image[UserArea.Begin], &file[UserArea.Begin], static_cast<size_t>(UserArea.End - UserArea.Begin));
  return true;
}

bool SimulatedDevice::SaveImage(const std::string& path, SimSaveFormat format, const FirmwareImage& image,
                                std::string* error) {
  return format == SimSaveFormat::Hex ? WriteHexFile(path, image, error) : WriteRawImage(path, image, error);
}

}  // namespace tolvane
