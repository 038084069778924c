// The Intel HEX reader. Lenient: a file is never rejected. Every record is
// traced to Log(); records of type 00 and 04 take effect, others are only
// traced. Damaged records still load, but are warned about and counted so
// that a later step can refuse to flash a suspect image unasked.
//
// Errors, in this layer: results are values (HexLoadResult here; a bool and
// an error text for writing files), and every load also says what happened
// in the trace.
#pragma once

#include "image/firmware_image.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tolvane {

// What is wrong with a damaged record.
enum class HexFault { None, ShortLine, NonHexDigits, BadChecksum, LongLine, LeadingBlanks, SegmentAddress };

// The fault as the trace names it (Russian), and in English for the command
// line's summary.
std::string_view HexFaultText(HexFault fault);
std::string_view HexFaultName(HexFault fault);

struct HexLoadResult {
  bool FileRead = false;    // the file could be opened and read to its end
  std::string OpenError;    // the system's reason when it could not
  int32_t BytesStored = 0;  // program-flash bytes stored (the closing line's count)
  int32_t Records = 0;      // lines that start with ':'
  int32_t DamagedRecords = 0;
  int32_t FirstDamagedLine = 0;  // line number in the file, from 1
  std::string FirstDamage;       // the fault of that line, as the warning names it
  HexFault FirstFault = HexFault::None;
  int32_t DroppedBytes = 0;       // data bytes outside this device's memory (the file may be for another chip)
  int32_t EepromBytes = 0;        // data bytes for the data EEPROM, which the monitor does not write
  int32_t RegionBytesStored = 0;  // bytes stored into region slots
  RegionCoverage RegionSet;       // which region-slot bytes the records set
  bool EndRecordSeen = false;     // an end-of-file record (type 01) was read

  // A file cut short has records but no end record.
  bool MissingEndRecord() const { return Records > 0 && !EndRecordSeen; }
  // EEPROM data is not written, but it is no sign of a wrong file.
  bool Suspect() const { return DamagedRecords > 0 || DroppedBytes > 0 || MissingEndRecord(); }
  // A load that stored no program-flash byte gives nothing to write: writing
  // it would only erase the device.
  bool NothingToWrite() const { return BytesStored == 0; }
};

// What is wrong with a suspect load, one clause per fault (Russian, as the
// window and the procedures show it); empty when nothing is.
std::string DamageDescription(const HexLoadResult& load);

// The one wording of a suspect file, for the load box, the question before a
// write and the refusal: the lead, then DamageDescription.
std::string SuspectFileText(const HexLoadResult& load);

// The note about data for the data EEPROM (not written, not damage); empty
// when the file has none.
std::string EepromNote(const HexLoadResult& load);

// Largest input taken for a HEX file: far beyond any firmware's file, small
// enough that a wrong choice (a disk image, a device) is refused early.
inline constexpr uint64_t kMaxHexFileBytes = uint64_t{256} << 20;

// Clears the image, then fills it from the file and traces the load. The file
// is read as a stream, so memory stays bounded whatever it holds; a directory
// or an input above kMaxHexFileBytes is refused like an unreadable file.
// onBytes, when given, sees every byte of the file as it is read (a digest).
HexLoadResult LoadHexFile(const std::string& path, FirmwareImage& image,
                          const std::function<void(std::string_view)>& onBytes = nullptr);

// The same for a file's content already in memory.
HexLoadResult LoadHexText(std::string_view text, FirmwareImage& image);

// Reads the pair of hex digits at the cursor (either case) and advances the
// cursor by 2 whatever it finds. A pair that is not two hex digits, or that
// runs past the line's end, reads as 0xFF.
uint8_t ReadHexByte(std::string_view line, size_t& cursor);

// Longest piece of a line that is handled as one record line; longer lines
// are cut into pieces of this length.
inline constexpr size_t kHexLinePieceSize = 8191;

}  // namespace tolvane
