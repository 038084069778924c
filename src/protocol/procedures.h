// The programming procedures: read the device back, compare it with the file,
// write the file (then verify), start the firmware. The window and the command
// line share them; they report through an observer and never assume a UI.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image/firmware_image.h"
#include "image/hex_writer.h"
#include "protocol/link.h"
#include "protocol/outcome.h"

namespace tolvane {

struct HexLoadResult;

// How a procedure ended, for callers that map it to an exit status.
enum class ProcedureStatus {
  Done,        // finished; for a verify: no difference outside the monitor area
  Differs,     // verify found differences in user or configuration data
  LinkFailed,  // a command failed (no answer, wrong answer, short read, port closed)
  Refused,     // nothing was sent: no file, a suspect file not confirmed
  Stopped,     // the observer asked to stop between two blocks
};

// The stages of a procedure, each counted on its own: a device read, the
// whole device read before a write (for a backup), the write, and the read
// back that checks it.
enum class ProgressPhase { Read, ReadBefore, Write, Check };

// Called on the thread that runs the procedure (a worker thread in the
// window), so implementations must hand anything visual to their own thread.
class IProcedureObserver {
 public:
  virtual ~IProcedureObserver() = default;
  // After each block: blocks done of all blocks of this run (a write that
  // verifies counts its writes and its reads together).
  virtual void Progress(int32_t done, int32_t total) { (void)done, (void)total; }
  // A stage begins; blocks: how many of the run's blocks are its own.
  virtual void Phase(ProgressPhase phase, int32_t blocks) { (void)phase, (void)blocks; }
  // The device image is complete (before the comparison of a verify): a
  // window shows the file image now, so the verdict comes after it.
  virtual void DeviceImageRead() {}
  // The message of the run's end, at most once per run. A read that succeeds
  // and a run that sends its frame report none.
  virtual void Outcome(const ProcedureOutcome& outcome) { (void)outcome; }
  // Asked before every block but the first; true stops the run there.
  virtual bool StopRequested() { return false; }
  // The file to be written is damaged; question says how. True: write anyway.
  virtual bool ConfirmSuspect(const std::string& question) {
    (void)question;
    return false;
  }
};

// The counts a comparison found.
struct CompareCounts {
  int32_t UserMismatches = 0;
  int32_t MonitorMismatches = 0;
  int32_t ConfigurationMismatches = 0;
  // False when the file sets no configuration or identifier byte: then none
  // was compared (a device's programmed configuration is no difference).
  bool ConfigurationCompared = true;
  // First differing offsets (-1: none), for detailed reports.
  int32_t FirstUserMismatch = -1;
  int32_t FirstMonitorMismatch = -1;
  int32_t FirstConfigurationMismatch = -1;  // image offset in slot 0 or 1
};

// Counts without logging or verdict; what CompareImages judges. compared:
// the region bytes the file sets, which alone are compared (null: all of
// the verified regions).
CompareCounts CountMismatches(const FirmwareImage& file, const FirmwareImage& device,
                              const RegionCoverage* compared = nullptr);

// How many leading bytes of each region a read fetches (one read block each).
const RegionExtents& DeviceReadExtents();

// Whether a loaded file may be written: refuses (reporting the outcome) when
// no file was read, asks ConfirmSuspect for a damaged one (a "no" is the
// user's own choice: traced, no outcome). WriteDevice checks the same;
// callers may ask first, before any port is touched.
bool AdmitFile(const HexLoadResult* load, IProcedureObserver& observer);

// The refusal of a suspect file that a rule declined for the user (the
// command line without --force), in the words of the question.
ProcedureOutcome SuspectRefusal(const HexLoadResult& load);

enum class Admission { Ask, Done };

struct WriteCounts {
  int32_t BlocksSent = 0;
  int32_t BlocksWritten = 0;  // answered as written
  int32_t ProtectedBlocks = 0;
  int32_t ProtectedUserBlocks = 0;
  int32_t MonitorBlocksSent = 0;   // of the monitor area's blocks, those sent and answered
  int32_t BlocksAlreadyRight = 0;  // read and found equal to the file, so not sent
};

// A range of program flash, [Begin, End).
struct FlashRange {
  int32_t Begin = 0;
  int32_t End = 0;
  bool operator==(const FlashRange&) const = default;
};

// How a write goes beyond the plain one (which sends all 1024 blocks, then
// reads everything back).
struct WriteOptions {
  // Only the blocks that differ from the file are sent (every block's final
  // content is read: the read of an equal block, the read-back of a written
  // one); the monitor area's blocks are not sent.
  bool ChangedOnly = false;
  // Ranges whose device bytes survive the write: their blocks are written
  // with the device's bytes merged in, and the comparison leaves them out.
  std::vector<FlashRange> Keep;
  // Given: the whole device is read first and handed over (a backup) before
  // anything is written; a text back means it could not be kept, and the
  // write does not start (it says so).
  std::function<std::string(const FirmwareImage& before)> BeforeWriting;

  bool Planned() const { return ChangedOnly || !Keep.empty() || BeforeWriting != nullptr; }
};

class Procedures {
 public:
  Procedures(MonitorLink& link, IProcedureObserver& observer) : m_Link(link), m_Observer(observer) {}

  // Synchronize, then 2048 flash blocks and the six regions into device.
  // The image is not cleared first; a failed read leaves it partly updated.
  ProcedureStatus ReadDevice(FirmwareImage& device);

  // Logs the counts and reports the verdict; Done when only the monitor area
  // differs (or nothing), Differs otherwise. compared: as CountMismatches.
  ProcedureStatus CompareImages(const FirmwareImage& file, const FirmwareImage& device,
                                const RegionCoverage* compared = nullptr);

  // ReadDevice, then CompareImages when the read succeeded.
  ProcedureStatus Verify(const FirmwareImage& file, FirmwareImage& device, const RegionCoverage* compared = nullptr);

  // Writes the 1024 flash blocks of file, then verifies into device.
  // load describes how file was loaded: nullptr (or a file that could not be
  // read) refuses, a suspect load is written only after ConfirmSuspect.
  // Admission::Done: the caller has admitted the file already (AdmitFile),
  // so it is not asked about again.
  ProcedureStatus WriteDevice(const FirmwareImage& file, const HexLoadResult* load, FirmwareImage& device,
                              Admission admission = Admission::Ask, const WriteOptions& options = {});

  // Synchronize and the run frame; refuses when the port is not open.
  ProcedureStatus Run();

  // Counts of the last write (valid after WriteDevice).
  const WriteCounts& LastWrite() const { return m_LastWrite; }
  // The read commands of the last procedure and the time they took, from
  // request to complete reply: what the line achieves.
  struct ReadTiming {
    int32_t Commands = 0;
    double Seconds = 0;
    // Every region was read (the last one after the others): the device's
    // identity is known, even when the procedure failed later.
    bool RegionsRead = false;
  };
  const ReadTiming& LastReads() const { return m_LastReads; }
  // Counts of the last comparison (valid after CompareImages).
  const CompareCounts& LastCompare() const { return m_LastCompare; }

 private:
  // Synchronize and the whole device; announce: tell the observer the image is complete.
  ProcedureStatus ReadBlocks(FirmwareImage& device, bool announce = true);
  ProcedureStatus WriteBlocks(const FirmwareImage& file);
  // The write with options (planned_write.cpp).
  ProcedureStatus WritePlanned(const FirmwareImage& file, const HexLoadResult& load, FirmwareImage& device,
                               const WriteOptions& options);
  // One command each; false when it failed (reported). first: no command has
  // gone out since Synchronize.
  bool ReadFlash(int32_t address, FirmwareImage& device, bool& first);
  bool ReadRegion(int32_t k, FirmwareImage& device, bool& first);
  bool WriteFlash(int32_t address, const uint8_t* data, bool& first);
  bool ReadFailed(const ReadBlockResult& block, const char* text, const char* caption);
  ReadBlockResult TimedRead(int32_t address);
  std::string WithWriteState(const char* text) const;
  ProcedureStatus ReadStopped(int32_t readBefore);
  ProcedureStatus WriteStopped();
  void LogWriteEnd() const;
  // Before a command (but the first after Synchronize), and after the last
  // read: false, with the outcome reported, when surplus bytes were waiting.
  bool LineClear(bool first, int32_t waitMs = 0);
  // A failed command on a port whose system calls failed: the port is lost.
  bool PortLost() const;
  void ReportPortLost(const std::string& deviceState);
  std::string WriteState() const;
  void Report(std::string text, std::string caption, OutcomeIcon icon);
  void Step();
  bool ShouldStop();
  const char* MonitorState() const;

  MonitorLink& m_Link;
  IProcedureObserver& m_Observer;
  int32_t m_Done = 0;
  int32_t m_Total = 0;
  WriteCounts m_LastWrite;
  CompareCounts m_LastCompare;
  ReadTiming m_LastReads;
  std::string m_OutcomeNote;  // appended to the next outcome (what a planned write did)
  bool m_Writing = false;     // a failure is one of a write: its outcome says what the device holds
};

}  // namespace tolvane
