// The page's entry into the core: a HEX text loaded by the HEX reader, and a
// write with its verify by the desktop's procedures, on the page's built-in
// device or on the port the page chose through Web Serial. The page calls
// these with ccall({async: true}); what a run says goes to the page's
// handlers (Module.onLog, onPhase, onProgress, onOutcome, onRunEnded), which
// only show it.
#include <emscripten.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "image/hex_reader.h"
#include "log/console_log.h"
#include "protocol/procedures.h"
#include "serial/web_serial_port.h"
#include "session/built_in_device.h"
#include "sim/simulated_device.h"
#include "sim/simulated_device_port.h"

namespace tolvane {
namespace {

// clang-format off
EM_JS(void, tolvane_page_log, (const char* text), {
  if (Module['onLog']) Module['onLog'](UTF8ToString(text));
});
EM_JS(void, tolvane_page_phase, (const char* phase, int blocks), {
  if (Module['onPhase']) Module['onPhase'](UTF8ToString(phase), blocks);
});
EM_JS(void, tolvane_page_progress, (int done, int total), {
  if (Module['onProgress']) Module['onProgress'](done, total);
});
EM_JS(void, tolvane_page_outcome, (const char* caption, const char* text, int error), {
  if (Module['onOutcome']) Module['onOutcome'](UTF8ToString(caption), UTF8ToString(text), !!error);
});
EM_JS(void, tolvane_page_run_ended, (const char* status, double seconds, int sent, int written, int protectedBlocks), {
  if (Module['onRunEnded'])
    Module['onRunEnded']({status: UTF8ToString(status), seconds, blocksSent: sent, blocksWritten: written,
                          blocksProtected: protectedBlocks});
});
// clang-format on

// The trace, a line at a time, to the page.
class PageLogSink : public LogSink {
 public:
  void WriteLine(std::span<const LogSpan> spans) override {
    m_Line.clear();
    for (const LogSpan& span : spans) m_Line.append(span.text);
    tolvane_page_log(m_Line.c_str());
  }

 private:
  std::string m_Line;
};

const char* PhaseName(ProgressPhase phase) {
  switch (phase) {
    case ProgressPhase::Read: return "read";
    case ProgressPhase::ReadBefore: return "read-before";
    case ProgressPhase::Write: return "write";
    case ProgressPhase::Check: return "check";
  }
  return "";
}

const char* StatusName(ProcedureStatus status) {
  switch (status) {
    case ProcedureStatus::Done: return "done";
    case ProcedureStatus::Differs: return "differs";
    case ProcedureStatus::LinkFailed: return "link-failed";
    case ProcedureStatus::Refused: return "refused";
    case ProcedureStatus::Stopped: return "stopped";
  }
  return "";
}

class PageObserver : public IProcedureObserver {
 public:
  void Progress(int32_t done, int32_t total) override { tolvane_page_progress(done, total); }
  void Phase(ProgressPhase phase, int32_t blocks) override { tolvane_page_phase(PhaseName(phase), blocks); }
  void Outcome(const ProcedureOutcome& outcome) override {
    tolvane_page_outcome(outcome.Caption.c_str(), outcome.Text.c_str(), outcome.Icon == OutcomeIcon::Error);
  }
  // A damaged file is not written: the page has no question to ask yet.
};

// What the page holds between its calls; it has one thread.
struct Page {
  FirmwareImage File;
  HexLoadResult Load;
  bool Loaded = false;
  std::unique_ptr<SimulatedDevicePort> Device;
  OWebSerialPort Port;
  bool Running = false;
};

Page& ThePage() {
  static Page page;
  static const bool logging = [] {
    Log().AddSink(std::make_shared<PageLogSink>());
    return true;
  }();
  (void)logging;
  return page;
}

// The page's built-in device: factory-fresh, at a device's pace on the line.
SimulatedDevicePort& BuiltInDevice() {
  Page& page = ThePage();
  if (!page.Device) {
    SimulatedDeviceOptions options;
    options.BaudRate = kDefaultBaud;
    options.ProgramTimeUs = kBuiltInProgramUs;
    page.Device = std::make_unique<SimulatedDevicePort>(options, SimulatedDevice::FactoryImage());
  }
  return *page.Device;
}

enum Target { kBuiltInDevice = 0, kWebSerialPort = 1 };

}  // namespace
}  // namespace tolvane

using namespace tolvane;

extern "C" {

// Loads a HEX file's text; the bytes of program flash it stored, -1 while a
// run goes on (its file stays).
EMSCRIPTEN_KEEPALIVE int tolvane_load_hex(const char* text) {
  Page& page = ThePage();
  if (page.Running) return -1;
  page.Load = LoadHexText(text, page.File);
  page.Loaded = page.Load.FileRead;
  return page.Load.BytesStored;
}

// Writes the loaded file and verifies it, on the built-in device (0) or the
// chosen Web Serial port (1). Returns the ProcedureStatus; -1 when a run is
// going on already or the port could not be opened (said as an outcome).
EMSCRIPTEN_KEEPALIVE int tolvane_write_device(int target) {
  Page& page = ThePage();
  if (page.Running) return -1;
  page.Running = true;
  IBytePort* port = nullptr;
  if (target == kWebSerialPort) {
    if (!page.Port.Open(kDefaultBaud)) {
      tolvane_page_outcome("ОШИБКА ПРИ РАБОТЕ С COM-ПОРТОМ", page.Port.ErrorText().c_str(), 1);
      page.Running = false;
      return -1;
    }
    port = &page.Port;
  } else {
    port = &BuiltInDevice();
  }
  MonitorLink link(*port, kDefaultBaud);
  PageObserver observer;
  Procedures procedures(link, observer);
  FirmwareImage device;
  const auto start = std::chrono::steady_clock::now();
  const ProcedureStatus status = procedures.WriteDevice(page.File, page.Loaded ? &page.Load : nullptr, device);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (target == kWebSerialPort) page.Port.Close();
  const WriteCounts& counts = procedures.LastWrite();
  tolvane_page_run_ended(StatusName(status), seconds, counts.BlocksSent, counts.BlocksWritten, counts.ProtectedBlocks);
  page.Running = false;
  return static_cast<int>(status);
}

// Whether the built-in device's user area holds the loaded file's: the
// device's own word, beside what the procedure read back.
EMSCRIPTEN_KEEPALIVE int tolvane_built_in_device_holds_file() {
  const FirmwareImage& memory = BuiltInDevice().Memory();
  const FirmwareImage& file = ThePage().File;
  return std::memcmp(memory.Data() + UserArea.Begin, file.Data() + UserArea.Begin,
                     static_cast<size_t>(UserArea.End - UserArea.Begin)) == 0;
}

}  // extern "C"
