// The write with options: only the blocks that differ, device data kept in
// ranges, the whole device read first for a backup. Every block's final
// content is read before the verdict: a block either is read and found
// equal to the file (and not sent), or is written and read back (only what
// changed), or is verified by the full read after a plain write.
#include <algorithm>
#include <bitset>
#include <cstdio>

#include "image/hex_reader.h"
#include "log/console_log.h"
#include "protocol/procedures.h"

namespace tolvane {

using namespace link;

namespace {

constexpr int32_t kReadsPerWriteBlock = kWriteDataSize / kReadReplySize;  // 2

bool SameBlock(const FirmwareImage& a, const FirmwareImage& b, int32_t address) {
  return std::equal(a.Data() + address, a.Data() + address + kWriteDataSize, b.Data() + address);
}

bool Touches(const FlashRange& range, int32_t address) {
  return range.Begin < address + kWriteDataSize && range.End > address;
}

std::string RangeText(const FlashRange& range) {
  char text[48];
  std::snprintf(text, sizeof text, "0x%04X–0x%04X", static_cast<unsigned>(range.Begin),
                static_cast<unsigned>(range.End - 1));
  return text;
}

// Decides, for a block not read yet, whether to write it at once: after two
// differing blocks in a row the next ones likely differ too (a new firmware
// over an old one), and reading them first would only cost time. Every
// kCheckEvery-th such block is read first all the same, so that the guess
// ends where the blocks are equal again (erased flash after the firmware). A
// wrong guess only costs time: the read-back decides.
class ChangeGuess {
 public:
  bool WriteAtOnce() {
    if (m_Differing < 2) return false;
    if (++m_SinceCheck >= kCheckEvery) {
      m_SinceCheck = 0;
      return false;
    }
    return true;
  }
  void Saw(bool differs) {
    m_Differing = differs ? m_Differing + 1 : 0;
    if (!differs) m_SinceCheck = 0;
  }

 private:
  static constexpr int32_t kCheckEvery = 16;
  int32_t m_Differing = 0;   // blocks read in a row that differed
  int32_t m_SinceCheck = 0;  // blocks written at once since the last one read first
};

}  // namespace

ProcedureStatus Procedures::WritePlanned(const FirmwareImage& file, const HexLoadResult& load, FirmwareImage& device,
                                         const WriteOptions& options) {
  const bool readFirst = options.BeforeWriting != nullptr;
  const bool changedOnly = options.ChangedOnly;
  m_Total = (readFirst ? kDeviceReads : 0) +
            (changedOnly ? kFlashWriteBlocks + (readFirst ? 0 : kRegionCount) : kFlashWriteBlocks + kDeviceReads);
  // Which blocks of device hold what the device holds now.
  std::bitset<kFlashWriteBlocks> known;
  if (readFirst) {
    m_Observer.Phase(ProgressPhase::ReadBefore, kDeviceReads);
    const ProcedureStatus read = ReadBlocks(device, false);
    if (read != ProcedureStatus::Done) return read;
    known.set();
    if (const std::string why = options.BeforeWriting(device); !why.empty()) {
      Report("Резервная копия не сохранена: " + why + "\n" + WriteState(), "ОШИБКА ЗАПИСИ", OutcomeIcon::Error);
      return ProcedureStatus::Refused;
    }
  }

  FirmwareImage target = file;  // what each block is to hold
  ChangeGuess guess;
  m_Observer.Phase(ProgressPhase::Write, kFlashWriteBlocks);
  m_Link.Synchronize();
  bool first = true;
  auto readBlock = [&](int32_t address) {
    for (int32_t i = 0; i < kReadsPerWriteBlock; ++i)
      if (!ReadFlash(address + i * kReadReplySize, device, first)) return false;
    return true;
  };
  for (int32_t block = 0; block < kFlashWriteBlocks; ++block) {
    if (ShouldStop()) return WriteStopped();
    const int32_t address = block * kWriteDataSize;
    const bool kept = std::any_of(options.Keep.begin(), options.Keep.end(),
                                  [&](const FlashRange& range) { return Touches(range, address); });
    if (changedOnly && MonitorArea.Contains(address)) {
      // Never sent: the monitor protects it. Read for the verdict.
      if (!known[static_cast<size_t>(block)] && !readBlock(address)) return ProcedureStatus::LinkFailed;
      Step();
      continue;
    }
    bool read = known[static_cast<size_t>(block)];
    const bool readFirstHere = kept || (changedOnly && !guess.WriteAtOnce());
    if (!read && readFirstHere) {
      if (!readBlock(address)) return ProcedureStatus::LinkFailed;
      read = true;
    }
    if (kept) {
      for (const FlashRange& range : options.Keep) {
        const int32_t begin = std::max(range.Begin, address);
        const int32_t end = std::min(range.End, address + kWriteDataSize);
        if (begin < end) std::copy(device.Data() + begin, device.Data() + end, target.Data() + begin);
      }
    }
    if (changedOnly && read) {
      const bool same = SameBlock(target, device, address);
      guess.Saw(!same);
      if (same) {
        ++m_LastWrite.BlocksAlreadyRight;
        Step();
        continue;
      }
    }
    if (!WriteFlash(address, target.Data() + address, first)) return ProcedureStatus::LinkFailed;
    known.reset(static_cast<size_t>(block));
    // Only what changed: each written block is read back at once.
    if (changedOnly && !readBlock(address)) return ProcedureStatus::LinkFailed;
    Step();
  }
  LogWriteEnd();
  if (changedOnly) Log().Text("Уже были верны блоков = ").Dec(m_LastWrite.BlocksAlreadyRight).Text("\n");

  std::string note;
  if (changedOnly) {
    note = "Записано блоков: " + std::to_string(m_LastWrite.BlocksWritten) +
           ", уже были верны: " + std::to_string(m_LastWrite.BlocksAlreadyRight) +
           ". Блоки области монитора не отправлялись: их защищает монитор.";
  }
  if (!options.Keep.empty()) {
    std::string ranges;
    for (const FlashRange& range : options.Keep) ranges += (ranges.empty() ? "" : ", ") + RangeText(range);
    note += (note.empty() ? "" : "\n") + ("Данные модуля сохранены: " + ranges + ".");
  }

  Log().Text("Начинаю проверку \n");
  // Only what changed has read each block back already: the regions are left.
  const int32_t checkBlocks = changedOnly ? (readFirst ? 0 : kRegionCount) : kDeviceReads;
  if (checkBlocks > 0) m_Observer.Phase(ProgressPhase::Check, checkBlocks);
  if (changedOnly) {
    for (int32_t k = 0; !readFirst && k < kRegionCount; ++k) {
      if (ShouldStop()) return ReadStopped(m_Done);
      if (!ReadRegion(k, device, first)) return ProcedureStatus::LinkFailed;
      Step();
    }
    if (!LineClear(false, kSurplusWaitMs)) return ProcedureStatus::LinkFailed;
    m_Observer.DeviceImageRead();
  } else {
    const ProcedureStatus status = ReadBlocks(device);
    if (status != ProcedureStatus::Done) return status;
  }
  m_OutcomeNote = note;
  return CompareImages(target, device, &load.RegionSet);
}

}  // namespace tolvane
