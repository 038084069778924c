#include "web/page_bridge.h"

#include <emscripten.h>

#include "image/hex_writer.h"
#include <nlohmann/json.hpp>

#include "log/console_log.h"
#include "protocol/link.h"
#include "session/device_identity.h"

namespace tolvane {
namespace {

// clang-format off
EM_JS(void, tolvane_page_log, (const char* spans), {
  if (Module['onLog']) Module['onLog'](JSON.parse(UTF8ToString(spans)));
});
EM_ASYNC_JS(int, tolvane_page_ask, (const char* caption, const char* text), {
  if (!Module['onQuestion']) return 0;
  return (await Module['onQuestion'](UTF8ToString(caption), UTF8ToString(text))) ? 1 : 0;
});
EM_JS(void, tolvane_page_progress, (const char* text, int done, int total), {
  if (Module['onProgress']) Module['onProgress'](UTF8ToString(text), done, total);
});
EM_JS(void, tolvane_page_waiting, (const char* text), {
  if (Module['onWaiting']) Module['onWaiting'](UTF8ToString(text));
});
EM_JS(void, tolvane_page_status, (const char* text), {
  if (Module['onStatus']) Module['onStatus'](UTF8ToString(text));
});
EM_JS(int, tolvane_page_stop_requested, (), {
  return Module['stopRequested'] && Module['stopRequested']() ? 1 : 0;
});
EM_JS(int, tolvane_page_backup, (const char* name, const char* device, const char* text), {
  if (!Module['onBackup']) return 0;
  return Module['onBackup'](UTF8ToString(name), UTF8ToString(device), UTF8ToString(text)) ? 1 : 0;
});
// clang-format on

// The trace a line at a time, as [[colour, text], ...].
class PageLogSink final : public LogSink {
 public:
  void WriteLine(std::span<const LogSpan> spans) override {
    nlohmann::json line = nlohmann::json::array();
    for (const LogSpan& span : spans) line.push_back({span.color, std::string(span.text)});
    tolvane_page_log(line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
  }
};

// How often the page's bar and status are redrawn: each redraw delays the
// reply that arrives meanwhile, and four a second still move smoothly.
constexpr auto kShowEvery = std::chrono::milliseconds(250);
constexpr auto kRateEvery = std::chrono::seconds(1);

}  // namespace

void RouteTraceToPage() { Log().AddSink(std::make_shared<PageLogSink>()); }

bool AskPage(const std::string& caption, const std::string& text) {
  return tolvane_page_ask(caption.c_str(), text.c_str()) != 0;
}

void PageReporter::Progress(const RunProgress& progress) {
  const Clock::time_point now = Clock::now();
  m_Stage.Done = progress.Done - m_StageStart;
  if (now - m_Shown < kShowEvery && progress.Done < progress.Total) return;
  m_Shown = now;
  Rate();
  const double elapsed = std::chrono::duration<double>(now - m_Start).count();
  const std::string text = ProgressText(m_Kind, m_Stage, progress, SecondsLeft(progress, elapsed));
  const bool staged = m_Stage.Phase && m_Stage.Total > 0;
  tolvane_page_progress(text.c_str(), staged ? std::min(m_Stage.Done, m_Stage.Total) : progress.Done,
                        staged ? m_Stage.Total : progress.Total);
}

void PageReporter::Phase(ProgressPhase phase, int32_t blocks) {
  m_Stage.Phase = phase;
  m_Stage.Total = blocks;
  m_StageStart += m_Stage.Done;
  m_Stage.Done = 0;
  m_Shown = {};
}

void PageReporter::Waiting(double secondsLeft) {
  if (secondsLeft > 0) {
    tolvane_page_waiting(WaitingText(secondsLeft).c_str());
    return;
  }
  tolvane_page_waiting("");
  m_Start = Clock::now();  // the time left counts from the device's answer
}

void PageReporter::DeviceImageRead() {
  if (m_ImageRead) m_ImageRead();
}

bool PageReporter::StopRequested() { return tolvane_page_stop_requested() != 0; }

// The line's rate while the run has the port: bytes moved either way.
void PageReporter::Rate() {
  const Clock::time_point now = Clock::now();
  const double seconds = std::chrono::duration<double>(now - m_RateStart).count();
  if (now - m_RateStart < kRateEvery) return;
  const int64_t moved = m_Port.Moved();
  tolvane_page_status(RateText(static_cast<double>(moved - m_RateBytes) / seconds).c_str());
  m_RateBytes = moved;
  m_RateStart = now;
}

bool PageBackups::Save(const FirmwareImage& device, std::string& where, std::string* error) {
  const DeviceIdentity identity = IdentityOf(device);
  const std::string name = BackupName(identity, std::chrono::system_clock::now());
  const std::string text = FormatHexFile(device, DeviceReadExtents());
  if (!tolvane_page_backup(name.c_str(), identity.UniqueIdHex().c_str(), text.c_str())) {
    if (error != nullptr) *error = "the browser did not take the download";
    return false;
  }
  where = name + " (загрузки браузера)";
  return true;
}

}  // namespace tolvane
