#include "protocol/procedures.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>

#include "image/hex_reader.h"
#include "log/console_log.h"
#include "serial/system_error.h"

namespace tolvane {

using namespace link;

namespace {

// Messages of the procedures, as the window shows them.
constexpr const char* kFlashReadFailed =
    "Ошибка при считывании данных из модуля! Ошибка связи, схема не в режиме "
    "перепрограммирования или монитор не поддерживает чтение прошивки.";
constexpr const char* kFlashReadCaption = "ОШИБКА ЧТЕНИЯ";
constexpr const char* kRegionReadFailed = "Ошибка при считывании reg !";
constexpr const char* kRegionReadCaption = "ОШИБКА";
constexpr const char* kWriteNoAnswer =
    "Ошибка при записи, нет ответа! Возможно схема не в режиме обновления прошивки "
    "или не поддерживает заливку hex - файлов.";
constexpr const char* kWriteWrongAnswer =
    "Ошибка при записи - неверный ответ! Возможно схема не в режиме обновления "
    "прошивки или не поддерживает заливку hex - файлов.";
constexpr const char* kWriteCaption = "ОШИБКА ЗАПИСИ";
constexpr const char* kWriteNotStarted = "Запись не начата, прошивка в модуле не изменена.";
constexpr const char* kWrittenNotVerified = "Все блоки записаны, но не проверены.";
constexpr const char* kVerifyEqual = "Все в порядке, данные одинаковы !\nНажмите 'Пуск' для запуска прошивки";
constexpr const char* kVerifyEqualCaption = "ВЕРИФИКАЦИЯ ПРОШИВКИ";
constexpr const char* kVerdictUser = "Данные пользователя не совпадают!\r\n";
constexpr const char* kVerdictConfiguration = "Данные конфигурации / идентификаторы не совпадают!\r\n";
constexpr const char* kVerdictMonitor = "Несовпадения есть только в области монитора, но это ерунда!\r\n";
constexpr const char* kVerdictTail = "Не совпадения выделены синим цветом";
constexpr const char* kVerifyErrorCaption = "ОШИБКА ВЕРИФИКАЦИИ";
constexpr const char* kVerifyInfoCaption = "ИНФОРМАЦИЯ";

// Refusals and interruptions.
constexpr const char* kNoFile = "HEX-файл не загружен! Запись не начата, прошивка в модуле не изменена.";
constexpr const char* kFileUnread = "HEX-файл не прочитан! Запись не начата, прошивка в модуле не изменена.";
constexpr const char* kNothingToWrite =
    "В HEX-файле нет данных программы! Запись не начата, прошивка в модуле не изменена.";
constexpr const char* kSuspectDeclinedLog = "Повреждённый HEX-файл не записан: запись отменена\n";
constexpr const char* kRunPortClosed = "Порт не открыт! Команда запуска не отправлена, выберите порт.";
constexpr const char* kRunCaption = "ОШИБКА";
constexpr const char* kWriteStoppedCaption = "ЗАПИСЬ ПРЕРВАНА";
constexpr const char* kReadStoppedCaption = "ЧТЕНИЕ ПРЕРВАНО";
constexpr const char* kCheckStoppedCaption = "ПРОВЕРКА ПРЕРВАНА";

// Replies that cannot be trusted, and a port that went away.
constexpr const char* kSurplusText =
    "Модуль прислал лишние байты после ответа: ответы сдвинуты, им нельзя доверять. Процедура остановлена, "
    "прочитанные данные не сохраняются и не сравниваются. Возможно, в модуле работает прошивка: перезапустите "
    "его при включённом захвате и повторите.";
constexpr const char* kSurplusCaption = "ОШИБКА СВЯЗИ";
constexpr const char* kPortLostText = "Связь с портом потеряна: ";
constexpr const char* kConfigurationNotCompared =
    "\nВ HEX-файле нет слов конфигурации и идентификаторов, они не сравнивались.";

std::string Format(const char* format, int32_t a, int32_t b) {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

}  // namespace

const RegionExtents& DeviceReadExtents() {
  static const RegionExtents extents = [] {
    RegionExtents e{};
    for (size_t k = 0; k < e.size(); ++k) e[k] = std::min(MemoryRegions[k].Size, kReadReplySize);
    return e;
  }();
  return extents;
}

CompareCounts CountMismatches(const FirmwareImage& file, const FirmwareImage& device, const RegionCoverage* compared) {
  CompareCounts counts;
  for (int32_t j = 0; j < kFlashSize; ++j) {
    if (file[j] == device[j]) continue;
    if (MonitorArea.Contains(j)) {
      if (counts.MonitorMismatches++ == 0) counts.FirstMonitorMismatch = j;
    } else {
      if (counts.UserMismatches++ == 0) counts.FirstUserMismatch = j;
    }
  }
  if (compared != nullptr) counts.ConfigurationCompared = false;
  for (int32_t k = 0; k < kVerifiedRegionCount; ++k) {
    for (int32_t i = 0; i < MemoryRegions[static_cast<size_t>(k)].Size; ++i) {
      int32_t offset = RegionSlotOffset(k) + i;
      if (compared != nullptr) {
        if (!compared->test(static_cast<size_t>(offset - kFlashSize))) continue;
        counts.ConfigurationCompared = true;
      }
      if (file[offset] == device[offset]) continue;
      if (counts.ConfigurationMismatches++ == 0) counts.FirstConfigurationMismatch = offset;
    }
  }
  return counts;
}

void Procedures::Report(std::string text, std::string caption, OutcomeIcon icon) {
  if (!m_OutcomeNote.empty()) text += "\n" + std::exchange(m_OutcomeNote, std::string());
  m_Observer.Outcome(ProcedureOutcome{std::move(text), std::move(caption), icon});
}

void Procedures::Step() { m_Observer.Progress(++m_Done, m_Total); }

// What an interrupted write may have done to the monitor: it is known to be
// kept only when every block of the monitor area that the device answered
// was answered as protected (a block it never answered is no sign of a
// write: the device stopped listening).
const char* Procedures::MonitorState() const {
  const int32_t monitorBlocksProtected = m_LastWrite.ProtectedBlocks - m_LastWrite.ProtectedUserBlocks;
  if (monitorBlocksProtected == m_LastWrite.MonitorBlocksSent)
    return "Монитор в модуле сохранён, запись можно повторить.";
  return "Внимание: не все блоки области монитора ответили «защищено», монитор в модуле мог быть изменён.";
}

bool Procedures::ShouldStop() { return m_Done > 0 && m_Observer.StopRequested(); }

bool Procedures::LineClear(bool first, int32_t waitMs) {
  if (first) return true;
  const int32_t surplus = m_Link.TakeSurplus(waitMs);
  if (surplus == 0) return true;
  Log()
      .SetColor(kColorWarning)
      .Text("Лишние байты от модуля после ответа: ")
      .Dec(surplus)
      .Text("\n")
      .SetColor(kColorNormal);
  Report(WithWriteState(kSurplusText), kSurplusCaption, OutcomeIcon::Error);
  return false;
}

bool Procedures::PortLost() const {
  const IBytePort& port = m_Link.Port();
  return port.IsOpen() && port.LastError() != 0;
}

void Procedures::ReportPortLost(const std::string& deviceState) {
  std::string text = kPortLostText + FormatSystemError(m_Link.Port().LastError()) + ".";
  if (!deviceState.empty()) text += "\n" + deviceState;
  Report(std::move(text), kPortErrorCaption, OutcomeIcon::Error);
}

// What an unfinished write leaves in the device, in one wording for every
// way it ends early: nothing sent, blocks written (the firmware now partial),
// or none of them written (unchanged), and what became of the monitor.
std::string Procedures::WriteState() const {
  const WriteCounts& w = m_LastWrite;
  if (w.BlocksSent == 0) return kWriteNotStarted;
  if (w.BlocksSent == kFlashWriteBlocks && w.BlocksWritten + w.ProtectedBlocks == kFlashWriteBlocks)
    return kWrittenNotVerified;
  std::string state = "Записано блоков: " + std::to_string(w.BlocksWritten);
  if (w.BlocksAlreadyRight > 0) state += ", уже были верны: " + std::to_string(w.BlocksAlreadyRight);
  state += ", защищено: " + std::to_string(w.ProtectedBlocks) + " (из " + std::to_string(kFlashWriteBlocks) + "), ";
  state += w.BlocksWritten > 0 ? "прошивка в модуле неполная. " : "прошивка в модуле не изменена. ";
  return state + MonitorState();
}

bool Procedures::ReadFailed(const ReadBlockResult& block, const char* text, const char* caption) {
  Log().Text("Err, RdSz=").Dec(block.Received).Text("\n");
  const std::string state = m_Writing ? WriteState() : std::string();
  if (PortLost()) {
    ReportPortLost(state);
  } else {
    Report(state.empty() ? std::string(text) : text + std::string("\n") + state, caption, OutcomeIcon::Error);
  }
  return false;
}

ReadBlockResult Procedures::TimedRead(int32_t address) {
  const auto start = std::chrono::steady_clock::now();
  ReadBlockResult block = m_Link.ReadBlock(address);
  if (block.Ok) {
    ++m_LastReads.Commands;
    m_LastReads.Seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  return block;
}

// A write says in each failure what the device holds now.
std::string Procedures::WithWriteState(const char* text) const {
  return m_Writing ? text + std::string("\n") + WriteState() : std::string(text);
}

bool Procedures::ReadFlash(int32_t address, FirmwareImage& device, bool& first) {
  if (!LineClear(first)) return false;
  first = false;
  const ReadBlockResult block = TimedRead(address);
  if (!block.Ok) return ReadFailed(block, kFlashReadFailed, kFlashReadCaption);
  std::copy(block.Data.begin(), block.Data.end(), device.Data() + address);
  return true;
}

bool Procedures::ReadRegion(int32_t k, FirmwareImage& device, bool& first) {
  if (!LineClear(first)) return false;
  first = false;
  const ReadBlockResult block = TimedRead(MemoryRegions[static_cast<size_t>(k)].Start);
  if (!block.Ok) return ReadFailed(block, kRegionReadFailed, kRegionReadCaption);
  const auto kept = static_cast<std::ptrdiff_t>(DeviceReadExtents()[static_cast<size_t>(k)]);
  std::copy(block.Data.begin(), block.Data.begin() + kept, device.Slot(k));
  if (k == kRegionCount - 1) m_LastReads.RegionsRead = true;
  return true;
}

bool Procedures::WriteFlash(int32_t address, const uint8_t* data, bool& first) {
  if (!LineClear(first)) return false;
  first = false;
  const WriteOutcome outcome =
      m_Link.WriteBlock(address, std::span<const uint8_t, kWriteDataSize>(data, kWriteDataSize));
  ++m_LastWrite.BlocksSent;
  if (MonitorArea.Contains(address) && outcome != WriteOutcome::NoAnswer) ++m_LastWrite.MonitorBlocksSent;
  switch (outcome) {
    case WriteOutcome::Written: ++m_LastWrite.BlocksWritten; return true;
    case WriteOutcome::Protected:
      ++m_LastWrite.ProtectedBlocks;
      if (UserArea.Contains(address)) ++m_LastWrite.ProtectedUserBlocks;
      return true;
    case WriteOutcome::NoAnswer:
      if (PortLost()) {
        ReportPortLost(WriteState());
      } else {
        Report(WithWriteState(kWriteNoAnswer), kWriteCaption, OutcomeIcon::Error);
      }
      return false;
    case WriteOutcome::WrongAnswer:
      Report(WithWriteState(kWriteWrongAnswer), kWriteCaption, OutcomeIcon::Error);
      return false;
  }
  return false;
}

ProcedureStatus Procedures::ReadStopped(int32_t readBefore) {
  if (m_LastWrite.BlocksSent == kFlashWriteBlocks && readBefore > 0) {
    Report(std::string("Проверка прервана! ") + kWrittenNotVerified + " " + MonitorState(), kCheckStoppedCaption,
           OutcomeIcon::Error);
  } else {
    Report(Format("Чтение прервано! Считано блоков: %d из %d, данные модуля прочитаны "
                  "не полностью.",
                  m_Done - readBefore, kDeviceReads),
           kReadStoppedCaption, OutcomeIcon::Error);
  }
  return ProcedureStatus::Stopped;
}

ProcedureStatus Procedures::WriteStopped() {
  Log()
      .Text("Запись прервана, записано блоков = ")
      .Dec(m_LastWrite.BlocksWritten)
      .Text(", защищено = ")
      .Dec(m_LastWrite.ProtectedBlocks)
      .Text("\n");
  Report("Запись прервана! " + WriteState(), kWriteStoppedCaption, OutcomeIcon::Error);
  return ProcedureStatus::Stopped;
}

ProcedureStatus Procedures::ReadBlocks(FirmwareImage& device, bool announce) {
  const int32_t readBefore = m_Done;
  m_Link.Synchronize();
  bool first = true;
  for (int32_t address = 0; address < kFlashSize; address += kReadReplySize) {
    if (ShouldStop()) return ReadStopped(readBefore);
    if (!ReadFlash(address, device, first)) return ProcedureStatus::LinkFailed;
    Step();
  }
  for (int32_t k = 0; k < kRegionCount; ++k) {
    if (ShouldStop()) return ReadStopped(readBefore);
    if (!ReadRegion(k, device, first)) return ProcedureStatus::LinkFailed;
    Step();
  }
  // Bytes behind the last reply would have shifted it too.
  if (!LineClear(false, kSurplusWaitMs)) return ProcedureStatus::LinkFailed;
  if (announce) m_Observer.DeviceImageRead();
  return ProcedureStatus::Done;
}

ProcedureStatus Procedures::ReadDevice(FirmwareImage& device) {
  m_Done = 0;
  m_Total = kDeviceReads;
  m_LastWrite = {};
  m_LastReads = {};
  m_Observer.Phase(ProgressPhase::Read, kDeviceReads);
  return ReadBlocks(device);
}

ProcedureStatus Procedures::CompareImages(const FirmwareImage& file, const FirmwareImage& device,
                                          const RegionCoverage* compared) {
  m_LastCompare = CountMismatches(file, device, compared);
  const CompareCounts& c = m_LastCompare;
  Log().Text("ErrUserN = ").Dec(c.UserMismatches).Text(" ErrNMon=").Dec(c.MonitorMismatches).Text("\n");

  std::string verdict;
  bool error = false;
  if (c.UserMismatches > 0) {
    verdict += kVerdictUser;
    error = true;
  }
  if (c.ConfigurationMismatches > 0) {
    verdict += kVerdictConfiguration;
    error = true;
  }
  if (c.MonitorMismatches > 0) verdict += kVerdictMonitor;

  const std::string note = c.ConfigurationCompared ? "" : kConfigurationNotCompared;
  if (verdict.empty()) {
    Report(kVerifyEqual + note, kVerifyEqualCaption, OutcomeIcon::Exclamation);
    return ProcedureStatus::Done;
  }
  verdict += kVerdictTail;
  verdict += note;
  if (error) {
    Report(std::move(verdict), kVerifyErrorCaption, OutcomeIcon::Error);
    return ProcedureStatus::Differs;
  }
  Report(std::move(verdict), kVerifyInfoCaption, OutcomeIcon::Exclamation);
  return ProcedureStatus::Done;
}

ProcedureStatus Procedures::Verify(const FirmwareImage& file, FirmwareImage& device, const RegionCoverage* compared) {
  ProcedureStatus status = ReadDevice(device);
  if (status != ProcedureStatus::Done) return status;
  return CompareImages(file, device, compared);
}

bool AdmitFile(const HexLoadResult* load, IProcedureObserver& observer) {
  auto Report = [&](std::string text, const char* caption, OutcomeIcon icon) {
    observer.Outcome(ProcedureOutcome{std::move(text), caption, icon});
  };
  if (load == nullptr) {
    Report(kNoFile, kWriteCaption, OutcomeIcon::Error);
    return false;
  }
  if (!load->FileRead) {
    std::string text = kFileUnread;
    if (!load->OpenError.empty()) text += "\n" + load->OpenError;
    Report(std::move(text), kWriteCaption, OutcomeIcon::Error);
    return false;
  }
  // Writing a load without program data would erase the device: no
  // confirmation overrides this.
  if (load->NothingToWrite()) {
    Report(kNothingToWrite, kWriteCaption, OutcomeIcon::Error);
    return false;
  }
  if (!load->Suspect()) return true;
  std::string question = SuspectFileText(*load) + "\nЗаписать его в модуль всё равно?";
  if (observer.ConfirmSuspect(question)) {
    Log().SetColor(kColorWarning).Text("Записываю повреждённый HEX-файл по подтверждению\n").SetColor(kColorNormal);
    return true;
  }
  // The user's own answer: traced, no message of its own.
  Log().Text(kSuspectDeclinedLog);
  return false;
}

ProcedureOutcome SuspectRefusal(const HexLoadResult& load) {
  return {SuspectFileText(load) + "\n" + kWriteNotStarted, kWriteCaption, OutcomeIcon::Error};
}

ProcedureStatus Procedures::WriteBlocks(const FirmwareImage& file) {
  m_Link.Synchronize();
  bool first = true;
  for (int32_t address = 0; address < kFlashSize; address += kWriteDataSize) {
    if (ShouldStop()) return WriteStopped();
    if (!WriteFlash(address, file.Data() + address, first)) return ProcedureStatus::LinkFailed;
    Step();
  }
  return ProcedureStatus::Done;
}

void Procedures::LogWriteEnd() const {
  const WriteCounts& w = m_LastWrite;
  Log()
      .Text("Конец записи, записано блоков = ")
      .Dec(w.BlocksSent)
      .Text(" из них защищено от изменений = ")
      .Dec(w.ProtectedBlocks)
      .Text("\n");
  if (w.ProtectedUserBlocks > 0) {
    Log()
        .SetColor(kColorWarning)
        .Text("Странно, защищено от изменений ")
        .Dec(w.ProtectedUserBlocks)
        .Text(" блоков в пользовательской области \n")
        .SetColor(kColorNormal);
  }
}

ProcedureStatus Procedures::WriteDevice(const FirmwareImage& file, const HexLoadResult* load, FirmwareImage& device,
                                        Admission admission, const WriteOptions& options) {
  m_Done = 0;
  m_Total = kFlashWriteBlocks + kDeviceReads;
  m_LastWrite = {};
  m_LastReads = {};
  if ((admission == Admission::Ask || load == nullptr) && !AdmitFile(load, m_Observer)) return ProcedureStatus::Refused;

  Log().Text("Начинаю запись \n");
  m_Writing = true;
  struct Reset {
    bool& Flag;
    ~Reset() { Flag = false; }
  } reset{m_Writing};
  if (options.Planned()) return WritePlanned(file, *load, device, options);
  m_Observer.Phase(ProgressPhase::Write, kFlashWriteBlocks);
  ProcedureStatus status = WriteBlocks(file);
  if (status != ProcedureStatus::Done) return status;
  LogWriteEnd();
  Log().Text("Начинаю проверку \n");
  m_Observer.Phase(ProgressPhase::Check, kDeviceReads);
  status = ReadBlocks(device);
  if (status != ProcedureStatus::Done) return status;
  return CompareImages(file, device, &load->RegionSet);
}

ProcedureStatus Procedures::Run() {
  m_Done = 0;
  m_Total = 0;
  if (!m_Link.Port().IsOpen()) {
    Report(kRunPortClosed, kRunCaption, OutcomeIcon::Error);
    return ProcedureStatus::Refused;
  }
  m_Link.StartFirmware();
  return ProcedureStatus::Done;
}

}  // namespace tolvane
