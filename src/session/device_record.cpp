#include "session/device_record.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "log/file_open.h"
#include "serial/system_error.h"
#include "session/exit_codes.h"
#include "session/local_time.h"

namespace tolvane {
namespace {

const char* VerdictOf(int code) {
  switch (code) {
    case kExitOk: return "ok";
    case kExitDiffers: return "differs";
    case kExitInterrupted: return "interrupted";
    default: return "failed";
  }
}

std::string ReasonOf(const RunResult& r, int code) {
  if (code == kExitOk) return {};
  if (!r.OpenError.empty()) return "cannot open the port: " + r.OpenError;
  if (!r.NoMonitor.empty()) return r.NoMonitor;
  if (r.Outcome) return OutcomeLine(*r.Outcome);
  if (code == kExitInterrupted) return "stopped while waiting for the device: nothing was sent to it";
  return "failed";
}

std::string SystemError(int number) { return std::error_code(number, std::generic_category()).message(); }

// A CSV field as RFC 4180 writes it: quoted when it holds a comma, a quote
// or a line end, its quotes doubled.
std::string CsvField(const std::string& value) {
  if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
  std::string quoted = "\"";
  for (char c : value) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string Lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The first line of a file and whether its last byte ends a line.
bool ReadEnds(const std::string& path, std::string& firstLine, bool& endsLine) {
  std::FILE* file = OpenRegularFile(path, "rb");
  if (file == nullptr) return false;
  firstLine.clear();
  for (int c; (c = std::fgetc(file)) != EOF && c != '\n';) firstLine += static_cast<char>(c);
  if (!firstLine.empty() && firstLine.back() == '\r') firstLine.pop_back();
  endsLine = std::fseek(file, -1, SEEK_END) == 0 && std::fgetc(file) == '\n';
  std::fclose(file);
  return true;
}

// The columns of a header row (names without commas or quotes).
std::vector<std::string> Columns(const std::string& header) {
  std::vector<std::string> columns;
  size_t start = 0;
  for (size_t comma; (comma = header.find(',', start)) != std::string::npos; start = comma + 1)
    columns.push_back(header.substr(start, comma - start));
  columns.push_back(header.substr(start));
  return columns;
}

// Why a header is not today's, naming the first column that differs.
std::string ColumnsDiffer(const std::vector<std::string>& found, const std::vector<std::string>& ours) {
  for (size_t i = 0; i < found.size() && i < ours.size(); ++i)
    if (found[i] != ours[i])
      return "column " + std::to_string(i + 1) + " is \"" + found[i] + "\" where these records have \"" + ours[i] +
             "\"";
  return std::to_string(found.size()) + " columns where these records have " + std::to_string(ours.size());
}

// A CSV written with fewer of today's columns, rewritten whole with today's
// header and the new columns empty in each of its rows (a row ends at a line
// end outside quotes). The file is replaced only once it is complete.
bool CarryForward(const std::string& path, size_t oldColumns, const std::string& header, std::string& error) {
  std::string text;
  {
    // Closed before the file is replaced: Windows renames no file over an open one.
    std::ifstream in(PathOf(path), std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.eof() && in.fail()) {
      error = path + ": " + SystemError(errno);
      return false;
    }
  }
  const std::string added(Columns(header.substr(0, header.size() - 2)).size() - oldColumns, ',');
  std::string out = header;
  out.reserve(text.size() + text.size() / 8);
  bool quoted = false;
  bool rowStarted = false;
  for (size_t i = text.find('\n') + 1; i > 0 && i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') quoted = !quoted;
    if (c == '\n' && !quoted) {
      const bool cr = !out.empty() && out.back() == '\r';
      if (cr) out.pop_back();
      if (rowStarted) out += added;
      out += cr ? "\r\n" : "\n";
      rowStarted = false;
      continue;
    }
    out += c;
    rowStarted = true;
  }
  if (rowStarted) out += added + "\r\n";
  std::string why;
  if (WriteWholeFile(path, out, &why)) return true;
  error = path + ": " + why;
  return false;
}

}  // namespace

std::string OutcomeLine(const ProcedureOutcome& outcome) { return OneLine(outcome.Caption + "\n" + outcome.Text); }

bool RunIsRecorded(RunKind kind) { return kind == RunKind::Write || kind == RunKind::Verify; }

DeviceRecord RecordOf(const RunResult& result, const DeviceIdentity& identity) {
  DeviceRecord record;
  record.Time = IsoLocalTime(result.Start);
  record.Host = HostName();
  record.Port = result.Port;
  record.File = result.FileName;
  record.Sha256 = result.FileSha256;
  const DeviceIdentity& device = result.Device.Known ? result.Device : identity;
  record.UniqueId = device.UniqueIdHex();
  record.DeviceId = device.DeviceIdHex();
  record.RevisionId = device.RevisionIdHex();
  record.Kind = RunKindName(result.Kind);
  record.ExitCode = ExitCodeOf(result);
  record.Verdict = VerdictOf(record.ExitCode);
  record.Reason = ReasonOf(result, record.ExitCode);
  record.BlocksWritten = result.Write.BlocksWritten;
  record.BlocksAlreadyRight = result.Write.BlocksAlreadyRight;
  record.BlocksProtected = result.Write.ProtectedBlocks;
  if (result.Compared) {
    record.MismatchesUser = result.Compare.UserMismatches;
    record.MismatchesMonitor = result.Compare.MonitorMismatches;
    record.MismatchesConfiguration = result.Compare.ConfigurationMismatches;
  }
  record.Seconds = std::round(result.Seconds * 100) / 100;
  return record;
}

nlohmann::ordered_json RecordJson(const DeviceRecord& r) {
  nlohmann::ordered_json json;
  json["time"] = r.Time;
  json["host"] = r.Host;
  json["port"] = r.Port;
  json["file"] = r.File;
  json["sha256"] = r.Sha256;
  json["unique_id"] = r.UniqueId;
  json["device_id"] = r.DeviceId;
  json["revision_id"] = r.RevisionId;
  json["kind"] = r.Kind;
  json["verdict"] = r.Verdict;
  json["reason"] = r.Reason;
  json["blocks_written"] = r.BlocksWritten;
  json["blocks_already_right"] = r.BlocksAlreadyRight;
  json["blocks_protected"] = r.BlocksProtected;
  json["mismatches_user"] = r.MismatchesUser;
  json["mismatches_monitor"] = r.MismatchesMonitor;
  json["mismatches_configuration"] = r.MismatchesConfiguration;
  json["seconds"] = r.Seconds;
  json["exit_code"] = r.ExitCode;
  return json;
}

std::optional<RecordFormat> RecordFormatOf(const std::string& path) {
  const std::string name = Lowered(path);
  if (EndsWith(name, ".csv")) return RecordFormat::Csv;
  if (EndsWith(name, ".jsonl")) return RecordFormat::JsonLines;
  return std::nullopt;
}

std::string RecordHeader(RecordFormat format) {
  if (format != RecordFormat::Csv) return {};
  const nlohmann::ordered_json fields = RecordJson({});
  std::string header;
  for (const auto& field : fields.items()) {
    if (!header.empty()) header += ',';
    header += CsvField(field.key());
  }
  return header + "\r\n";
}

std::string RecordLine(const DeviceRecord& record, RecordFormat format) {
  const nlohmann::ordered_json json = RecordJson(record);
  // Text that is not UTF-8 (a file name from an older system) is replaced,
  // never a reason to lose the record.
  if (format == RecordFormat::JsonLines)
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  return CsvLineOf(json);
}

std::string CsvLineOf(const nlohmann::ordered_json& fields) {
  static const nlohmann::ordered_json kColumns = RecordJson({});
  std::string line;
  bool first = true;
  for (const auto& column : kColumns.items()) {
    std::string value;
    if (fields.is_object() && fields.contains(column.key())) {
      const nlohmann::ordered_json& field = fields[column.key()];
      value = field.is_string() ? field.get<std::string>() : field.dump();
    }
    if (!first) line += ',';
    line += CsvField(value);
    first = false;
  }
  return line + "\r\n";
}

RecordFile::~RecordFile() {
  if (m_File != nullptr) std::fclose(m_File);
}

bool RecordFile::Open(const std::string& path, std::string* error) {
  std::string why;
  const bool opened = OpenFor(path, why);
  if (!opened && error != nullptr) *error = why;
  return opened;
}

bool RecordFile::OpenFor(const std::string& path, std::string& error) {
  const std::optional<RecordFormat> format = RecordFormatOf(path);
  if (!format) {
    error = path + ": a record file is named .csv or .jsonl";
    return false;
  }
  // A pipe would hold the open, a device never end the first line.
  if (const std::string reason = NotAFileReason(path); !reason.empty()) {
    error = path + " " + reason + "; a record file is a file";
    return false;
  }
  std::string firstLine;
  bool endsLine = true;
  const bool existed = ReadEnds(path, firstLine, endsLine);
  const std::string header = RecordHeader(*format);
  m_Note.clear();
  if (existed && !header.empty() && !firstLine.empty() && firstLine + "\r\n" != header) {
    // Written by an earlier version: its columns are the first of today's.
    const std::vector<std::string> found = Columns(firstLine);
    const std::vector<std::string> ours = Columns(header.substr(0, header.size() - 2));
    if (found.size() < ours.size() && std::equal(found.begin(), found.end(), ours.begin())) {
      if (!CarryForward(path, found.size(), header, error)) return false;
      m_Note = path + ": carried forward from " + std::to_string(found.size()) + " to " + std::to_string(ours.size()) +
               " columns, the new ones empty in its earlier rows";
      firstLine = header.substr(0, header.size() - 2);
      endsLine = true;
    }
  }
  m_File = OpenRegularFile(path, "ab");
  if (m_File == nullptr) {
    error = path + ": " + SystemError(errno);
    return false;
  }
  // Unbuffered: what the system refused is known at once, and cut away.
  std::setvbuf(m_File, nullptr, _IONBF, 0);
  m_Path = path;
  m_Format = *format;
  const int64_t length = FileLength(m_File);
  if (length <= 0 || !existed) {
    if (!header.empty() && !AppendText(header, &error)) return false;
    return true;
  }
  if (!header.empty() && firstLine + "\r\n" != header) {
    error = path + ": holds other columns than these records: " +
            ColumnsDiffer(Columns(firstLine), Columns(header.substr(0, header.size() - 2))) + " (name a new file)";
    return false;
  }
  // A file saved without its last line end (by an editor) gets it first.
  if (!endsLine && !AppendText(m_Format == RecordFormat::Csv ? "\r\n" : "\n", &error)) return false;
  return true;
}

bool RecordFile::AppendText(const std::string& text, std::string* error) {
  const int64_t before = FileLength(m_File);
  errno = 0;
  if (before >= 0 && std::fwrite(text.data(), 1, text.size(), m_File) == text.size() && SyncFile(m_File)) return true;
  const int number = errno != 0 ? errno : EIO;
  if (before >= 0) CutFile(m_File, before);
  std::clearerr(m_File);
  if (error != nullptr) *error = m_Path + ": " + SystemError(number);
  return false;
}

bool RecordFile::Append(const DeviceRecord& record, std::string* error) {
  std::lock_guard lock(m_Mutex);
  if (m_File == nullptr) {
    if (error != nullptr) *error = "no record file is open";
    return false;
  }
  return AppendText(RecordLine(record, m_Format), error);
}

bool AppendRecord(const std::string& path, const DeviceRecord& record, std::string* error, std::string* note) {
  RecordFile file;
  const bool opened = file.Open(path, error);
  if (note != nullptr) *note = file.Note();
  return opened && file.Append(record, error);
}

}  // namespace tolvane
