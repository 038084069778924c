// One record per attempt on a device: when, where, with which file, on
// which chip, what was done and how it ended. The station writes one per
// device, the command line one per port with --report, the window one per
// write or verification into its history. A record file is CSV (RFC 4180,
// a header row) or JSON Lines, by its name; every record reaches the disk
// before the caller goes on, and one that could not be written whole is
// taken away again, so the file never holds half a record.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "session/run_result.h"

namespace tolvane {

struct DeviceRecord {
  std::string Time;  // local, ISO 8601 with the UTC offset
  std::string Host;
  std::string Port;
  std::string File;  // the file's name, without its folder
  std::string Sha256;
  std::string UniqueId;  // 36 hexadecimal digits; empty when the device was not reached
  std::string DeviceId;
  std::string RevisionId;
  std::string Kind;     // "read", "verify", "write", "run"
  std::string Verdict;  // "ok", "differs", "failed", "interrupted"
  std::string Reason;   // why, when not ok (one line)
  int32_t BlocksWritten = 0;
  int32_t BlocksAlreadyRight = 0;
  int32_t BlocksProtected = 0;
  int32_t MismatchesUser = 0;
  int32_t MismatchesMonitor = 0;
  int32_t MismatchesConfiguration = 0;
  double Seconds = 0;
  int ExitCode = 0;
};

// Which runs are recorded (a report, the window's history): writes and
// verifications, whichever program ran them.
bool RunIsRecorded(RunKind kind);

// The record of a run; identity: the device as found before the run (when
// the run itself did not read it).
DeviceRecord RecordOf(const RunResult& result, const DeviceIdentity& identity = {});

// An outcome as a record's reason and a status line say it: its caption and
// the lines of its text on one line.
std::string OutcomeLine(const ProcedureOutcome& outcome);

// The fields by name, in the file's order.
nlohmann::ordered_json RecordJson(const DeviceRecord& record);

// This computer's name.
std::string HostName();

enum class RecordFormat { Csv, JsonLines };

// By the name: ".csv" or ".jsonl" (any case); nothing for another.
std::optional<RecordFormat> RecordFormatOf(const std::string& path);

// The header row (CSV only; empty for JSON Lines) and a record's line, with
// its line end.
std::string RecordHeader(RecordFormat format);
std::string RecordLine(const DeviceRecord& record, RecordFormat format);

// A record's fields (as a JSON Lines line holds them) as a CSV line under
// today's header: a column the record lacks (one of an earlier version) is
// empty, so kept records grow with the header.
std::string CsvLineOf(const nlohmann::ordered_json& fields);

// Where records go, one at a time, from any thread: a record file for the
// desktop programs, the browser's storage for a web page.
class IRecordSink {
 public:
  virtual ~IRecordSink() = default;
  // Appends the record whole; false with the reason.
  virtual bool Append(const DeviceRecord& record, std::string* error) = 0;
};

// A record file open for appending; Append may be called from several
// threads.
class RecordFile final : public IRecordSink {
 public:
  RecordFile() = default;
  ~RecordFile() override;
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // Opens (creating it) and writes the header when the file is new or
  // empty. Refuses a name of no known format, what is no regular file (a
  // pipe, a device: never opened), and a CSV file whose header is not this
  // program's (its columns would not line up). A CSV of an earlier version,
  // whose columns are the first of today's, is carried forward first:
  // rewritten whole with today's header and the new columns empty in its
  // rows; Note() then says so, for the user to hear once.
  bool Open(const std::string& path, std::string* error);
  const std::string& Note() const { return m_Note; }
  // Appends the record and syncs it to the disk; on failure the file is as
  // it was, and error says why.
  bool Append(const DeviceRecord& record, std::string* error) override;
  const std::string& Path() const { return m_Path; }

 private:
  bool OpenFor(const std::string& path, std::string& error);
  bool AppendText(const std::string& text, std::string* error);

  std::mutex m_Mutex;
  std::FILE* m_File = nullptr;
  RecordFormat m_Format = RecordFormat::Csv;
  std::string m_Path;
  std::string m_Note;
};

// Opens the file, appends the record and closes it: the window's history.
// note: what opening it did that the user should hear (a file carried
// forward), else empty.
bool AppendRecord(const std::string& path, const DeviceRecord& record, std::string* error, std::string* note = nullptr);

}  // namespace tolvane
