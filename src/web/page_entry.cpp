// The page's entry into the core: the session's file, runs, idle line and
// records, the dump of the file or the device, on the page's one thread.
// page.js calls these with ccall (async where the core waits on the event
// loop) and one at a time; each answers with a JSON text that the page only
// shows. Nothing here decides what the window would decide otherwise: the
// session does.
#include <emscripten.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "image/dump_composer.h"
#include "image/hex_reader.h"
#include "image/hex_writer.h"
#include "log/console_log.h"
#include "serial/counting_port.h"
#include "serial/web_serial_port.h"
#include "session/device_record.h"
#include "session/device_run.h"
#include "session/firmware_file.h"
#include "session/idle_line.h"
#include "session/site_links.h"
#include "session/update_choices.h"
#include "session/verdict.h"
#include "session/window_texts.h"
#include "sim/simulated_device.h"
#include "sim/simulated_device_port.h"
#include "web/page_bridge.h"

namespace tolvane {
namespace {

using Json = nlohmann::ordered_json;

// The flash programming time of one block of the page's built-in device: a
// real device's.
constexpr int32_t kPageDeviceProgramUs = 2000;

enum class Target { None = 0, BuiltIn = 1, WebSerial = 2 };

struct Page {
  FirmwareFile File;
  bool FileLoaded = false;
  FirmwareImage Device;
  std::unique_ptr<SimulatedDevicePort> BuiltIn;
  OWebSerialPort Serial;
  Target Chosen = Target::None;
  std::string PortLabel;
  std::optional<IdleLine> Idle;
  DumpComposer Dump;
  std::string Answer;  // the last JSON text handed out
};

Page& ThePage() {
  static Page* page = [] {
    RouteTraceToPage();
    return new Page;
  }();
  return *page;
}

IBytePort* ChosenPort(Page& page) {
  switch (page.Chosen) {
    case Target::None: return nullptr;
    case Target::BuiltIn: return page.BuiltIn.get();
    case Target::WebSerial: return &page.Serial;
  }
  return nullptr;
}

// No port from now on: the Web Serial line closed, the idle line gone.
void DropPort(Page& page) {
  if (page.Chosen == Target::WebSerial) page.Serial.Close();
  page.Idle.reset();
  page.Chosen = Target::None;
}

const char* Answer(const Json& json) {
  Page& page = ThePage();
  page.Answer = json.dump(-1, ' ', false, Json::error_handler_t::replace);
  return page.Answer.c_str();
}

Json OutcomeJson(const ProcedureOutcome& outcome) {
  return {{"caption", outcome.Caption},
          {"text", outcome.Text},
          {"icon", outcome.Icon == OutcomeIcon::Error ? "error" : "warning"}};
}

const char* StateName(FileState state) {
  switch (state) {
    case FileState::Unreadable: return "unreadable";
    case FileState::NothingToWrite: return "nothing";
    case FileState::Suspect: return "suspect";
    case FileState::Noted: return "noted";
    case FileState::Sound: return "sound";
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

// The port's words for the status line, as the window's status field.
std::string PortStatus(Page& page) {
  IBytePort* port = ChosenPort(page);
  return port != nullptr ? PortStatusText(*port, true) : PortStatusText(page.Serial, false);
}

Json DumpJson(const DumpComposer& dump) {
  Json runs = Json::array();
  for (const DumpRun& run : dump.FlashRuns()) runs.push_back({run.Begin, run.End});
  Json regionRuns = Json::array();
  for (const DumpRun& run : dump.RegionRuns()) regionRuns.push_back({run.Begin, run.End});
  return {{"flash", std::string(dump.FlashText())},
          {"flashRuns", std::move(runs)},
          {"regions", std::string(dump.RegionText())},
          {"regionRuns", std::move(regionRuns)},
          {"rowWidth", kDumpRowWidth}};
}

// The page's file from now on, and what it means for the user.
const char* FileAnswer(FirmwareFile file) {
  Page& page = ThePage();
  page.File = std::move(file);
  const HexLoadResult& load = page.File.Load;
  page.FileLoaded = load.FileRead;
  Json answer = {{"loaded", load.FileRead},
                 {"name", page.File.Name()},
                 {"sha256", page.File.Sha256},
                 {"bytes", load.BytesStored},
                 {"state", StateName(StateOf(load))}};
  if (const std::optional<FileNotice> notice = NoticeOf(load)) {
    answer["notice"] = {{"caption", notice->Caption()},
                        {"text", notice->Text},
                        {"icon", notice->State == FileState::Unreadable ? "error" : "warning"}};
  }
  return Answer(answer);
}

// clang-format off
EM_JS(void, tolvane_page_dump, (const char* view, const char* json), {
  if (Module['onDump']) Module['onDump'](UTF8ToString(view), JSON.parse(UTF8ToString(json)));
});
// clang-format on

}  // namespace
}  // namespace tolvane

using namespace tolvane;

extern "C" {

// Loads the HEX file the page put at path (its in-memory file system), with
// its SHA-256: what it holds and what the load means for the user.
EMSCRIPTEN_KEEPALIVE const char* tolvane_open_file(const char* path) {
  FirmwareFile file;
  LoadFirmwareFile(path, file);
  return FileAnswer(std::move(file));
}

// A file the browser could not read (gone, no permission): as the desktop's
// unreadable file, with the browser's reason.
EMSCRIPTEN_KEEPALIVE const char* tolvane_unreadable_file(const char* name, const char* reason) {
  FirmwareFile file;
  file.Path = name;
  file.Load.OpenError = reason;
  return FileAnswer(std::move(file));
}

// Chooses the port of the next runs and opens it: 0 none, 1 the built-in
// device, 2 the Web Serial port the page handed to its serial line; label:
// how results and records name it.
EMSCRIPTEN_KEEPALIVE const char* tolvane_select_port(int target, const char* label) {
  Page& page = ThePage();
  DropPort(page);
  page.PortLabel = label;
  Json answer = {{"open", false}};
  if (target == static_cast<int>(Target::BuiltIn)) {
    if (!page.BuiltIn) {
      SimulatedDeviceOptions options;
      options.BaudRate = kDefaultBaud;
      options.ProgramTimeUs = kPageDeviceProgramUs;
      page.BuiltIn = std::make_unique<SimulatedDevicePort>(options, SimulatedDevice::FactoryImage());
    }
    page.Chosen = Target::BuiltIn;
  } else if (target == static_cast<int>(Target::WebSerial)) {
    if (page.Serial.Open(kDefaultBaud)) {
      page.Chosen = Target::WebSerial;
    } else {
      answer["error"] = {{"caption", kPortErrorCaption}, {"text", page.Serial.ErrorText()}};
    }
  }
  if (IBytePort* port = ChosenPort(page)) {
    page.Idle.emplace(*port);
    answer["open"] = true;
  }
  answer["status"] = PortStatus(page);
  return Answer(answer);
}

// One turn of the line between runs: capture bursts when asked, the receive
// tick. A port whose read failed is dropped, with the message to show.
EMSCRIPTEN_KEEPALIVE const char* tolvane_idle(int capture) {
  Page& page = ThePage();
  Json answer = Json::object();
  if (!page.Idle) return Answer(answer);
  const std::optional<ReceiveTickResult> tick = page.Idle->Turn(capture != 0);
  if (!tick) return Answer(answer);
  if (tick->Failure) {
    answer["lost"] = OutcomeJson(LostPortWords(*tick->Failure, ChosenPort(page)->LastError()));
    DropPort(page);
  } else if (tick->Status) {
    answer["status"] = *tick->Status;
  }
  return Answer(answer);
}

// A run of the kind (0 read, 1 verify, 2 write, 3 run) on the chosen port,
// with the update choices ({"wait", "changedOnly", "backup", "keepData",
// "keepRanges"}). A write is admitted first, asking the page about a
// suspect file. The answer: how it ended, the verdict, the record.
EMSCRIPTEN_KEEPALIVE const char* tolvane_run(int kind, const char* choicesJson) {
  Page& page = ThePage();
  static constexpr RunKind kKinds[] = {RunKind::Read, RunKind::Verify, RunKind::Write, RunKind::Run};
  RunRequest request;
  request.Kind = kKinds[kind & 3];
  request.File = &page.File;
  request.PortLabel = page.PortLabel;
  Json answer = {{"kind", RunKindName(request.Kind)}};

  const Json choicesIn = Json::parse(choicesJson, nullptr, false);
  UpdateChoices choices;
  if (choicesIn.is_object()) {
    choices.WaitForMonitor = choicesIn.value("wait", false);
    choices.ChangedOnly = choicesIn.value("changedOnly", false);
    choices.Backup = choicesIn.value("backup", false);
    choices.KeepData = choicesIn.value("keepData", false);
    choices.KeepRanges = choicesIn.value("keepRanges", std::string());
  }
  auto refused = [&](const ProcedureOutcome& outcome) {
    answer["status"] = StatusName(ProcedureStatus::Refused);
    answer["verdict"] = OutcomeJson(outcome);
    return Answer(answer);
  };
  if (request.Kind == RunKind::Write) {
    const WriteAdmission admission = AdmitForWrite(page.FileLoaded ? &page.File : nullptr, [](const std::string& q) {
      return AskPage(FileNotice{FileState::Suspect, {}}.Caption(), q);
    });
    if (!admission.Admitted) {
      if (admission.Refusal) return refused(*admission.Refusal);
      answer["status"] = StatusName(ProcedureStatus::Refused);
      return Answer(answer);
    }
  }
  std::string why;
  PageBackups backups;
  if (!FillRunOptions(choices, request.Kind, "browser", request.Options, why)) return refused(KeepRangesRefusal(why));
  request.Backups = &backups;

  // No port: every procedure fails at once on a closed one, as the window's does.
  static OWebSerialPort none;
  IBytePort* chosen = ChosenPort(page);
  CountingPort counted(chosen != nullptr ? *chosen : none);
  bool imageRead = false;  // the device image is one whole read
  PageReporter reporter(request.Kind, counted, [&page, &request, &imageRead] {
    imageRead = true;
    // The file with the differences marked, before the verdict.
    if (request.Kind == RunKind::Read) return;
    page.Dump.Compose(page.File.Image, page.File.Image, page.Device);
    tolvane_page_dump("file", Answer(DumpJson(page.Dump)));
  });
  const RunResult result = RunOnPort(counted, request, page.Device, reporter);
  answer["status"] = StatusName(result.Status);
  answer["deviceImageRead"] = imageRead;
  answer["portLost"] = result.PortLost;
  answer["seconds"] = result.Seconds;
  answer["blocksSent"] = result.Write.BlocksSent;
  answer["blocksWritten"] = result.Write.BlocksWritten;
  if (const std::optional<ProcedureOutcome> verdict =
          VerdictOf(result, chosen != nullptr ? chosen->LastError() : 0, result.BackupPath))
    answer["verdict"] = OutcomeJson(*verdict);
  if (RunIsRecorded(result.Kind)) answer["record"] = RecordLine(RecordOf(result), RecordFormat::JsonLines);
  if (result.PortLost) DropPort(page);
  answer["portStatus"] = PortStatus(page);
  return Answer(answer);
}

// The dump of the file ("file") or of what was read from the device
// ("device"), the differences between them marked.
EMSCRIPTEN_KEEPALIVE const char* tolvane_dump(const char* view) {
  Page& page = ThePage();
  const bool device = std::strcmp(view, "device") == 0;
  page.Dump.Compose(device ? page.Device : page.File.Image, page.File.Image, page.Device);
  return Answer(DumpJson(page.Dump));
}

// The history as the window's history.csv has it: the header, then a line
// for each kept record (JSON Lines, as tolvane_run gave them; a record of an
// earlier version gets today's columns, the new ones empty).
EMSCRIPTEN_KEEPALIVE const char* tolvane_history_csv(const char* records) {
  std::string csv = RecordHeader(RecordFormat::Csv);
  std::string_view rest = records;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    const Json fields = Json::parse(line, nullptr, false);
    if (fields.is_object()) csv += CsvLineOf(fields);
  }
  return Answer(Json(csv));
}

// The device's image as a HEX file (what its reads fetched), for saving.
EMSCRIPTEN_KEEPALIVE const char* tolvane_device_hex() {
  return Answer(Json(FormatHexFile(ThePage().Device, DeviceReadExtents())));
}

// The texts the page shows as the window does: the header with its links,
// the instruction, the built-in device's name, the web help's address.
EMSCRIPTEN_KEEPALIVE const char* tolvane_texts() {
  const std::string site = std::string("http://") + kWebHost;
  Json pieces = Json::array();
  for (const HeaderPiece& piece : kHeaderPieces) {
    std::string url;
    for (const LinkTarget& row : kLinkTable)
      if (piece.Link && std::string_view(row.Text) == piece.Text) url = site + row.Path;
    pieces.push_back({{"text", piece.Text}, {"url", url}});
  }
  Json instruction = Json::array({kInstructionHeading});
  for (const char* line : kInstructionLines) instruction.push_back(line);
  return Answer({{"windowTitle", kWindowTitle},
                 {"title", kHeaderTitle},
                 {"pieces", std::move(pieces)},
                 {"home", site + kHomePagePath},
                 {"help", site + kHelpPath + kHelpKeyMain + "/B"},
                 {"instruction", std::move(instruction)},
                 {"builtInDevice", kSimulatedDeviceName},
                 // A larger file is refused by its size alone: the page need not read it.
                 {"maxFileBytes", kMaxHexFileBytes}});
}

// Whether the built-in device's user area holds the loaded file's: the
// device's own word, for the page's tests.
EMSCRIPTEN_KEEPALIVE int tolvane_built_in_device_holds_file() {
  Page& page = ThePage();
  if (!page.BuiltIn) return 0;
  const FirmwareImage& memory = page.BuiltIn->Memory();
  return std::memcmp(memory.Data() + UserArea.Begin, page.File.Image.Data() + UserArea.Begin,
                     static_cast<size_t>(UserArea.End - UserArea.Begin)) == 0;
}

}  // extern "C"
