#include "protocol/procedures.h"

#include <algorithm>
#include <cstdio>

#include "image/hex_reader.h"
#include "log/console_log.h"

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
constexpr const char* kSuspectDeclined = "HEX-файл повреждён, запись отменена. Прошивка в модуле не изменена.";
constexpr const char* kRunPortClosed = "Порт не открыт! Команда запуска не отправлена, выберите порт.";
constexpr const char* kRunCaption = "ОШИБКА";
constexpr const char* kWriteStoppedCaption = "ЗАПИСЬ ПРЕРВАНА";
constexpr const char* kReadStoppedCaption = "ЧТЕНИЕ ПРЕРВАНО";
constexpr const char* kCheckStoppedCaption = "ПРОВЕРКА ПРЕРВАНА";

std::string Format(const char* format, int32_t a, int32_t b) {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

}  // namespace

CompareCounts CountMismatches(const FirmwareImage& file, const FirmwareImage& device) {
  CompareCounts counts;
  for (int32_t j = 0; j < kFlashSize; ++j) {
    if (file[j] == device[j]) continue;
    if (MonitorArea.Contains(j)) {
      if (counts.MonitorMismatches++ == 0) counts.FirstMonitorMismatch = j;
    } else {
      if (counts.UserMismatches++ == 0) counts.FirstUserMismatch = j;
    }
  }
  for (int32_t k = 0; k < kVerifiedRegionCount; ++k) {
    for (int32_t i = 0; i < MemoryRegions[static_cast<size_t>(k)].Size; ++i) {
      int32_t offset = RegionSlotOffset(k) + i;
      if (file[offset] == device[offset]) continue;
      if (counts.ConfigurationMismatches++ == 0) counts.FirstConfigurationMismatch = offset;
    }
  }
  return counts;
}

void Procedures::Report(std::string text, std::string caption, OutcomeIcon icon) {
  m_Observer.Outcome(ProcedureOutcome{std::move(text), std::move(caption), icon});
}

void Procedures::Step() { m_Observer.Progress(++m_Done, m_Total); }

// What an interrupted write may have done to the monitor: it is known to be
// kept only when every block of the monitor area that was sent was answered
// as protected.
const char* Procedures::MonitorState() const {
  const int32_t monitorBlocksSent = std::min(m_LastWrite.BlocksSent, kMonitorAreaSize / kWriteDataSize);
  const int32_t monitorBlocksProtected = m_LastWrite.ProtectedBlocks - m_LastWrite.ProtectedUserBlocks;
  if (monitorBlocksProtected == monitorBlocksSent) return "Монитор в модуле сохранён, запись можно повторить.";
  return "Внимание: не все блоки области монитора ответили «защищено», монитор в модуле мог быть изменён.";
}

bool Procedures::ShouldStop() { return m_Done > 0 && m_Observer.StopRequested(); }

ProcedureStatus Procedures::ReadBlocks(FirmwareImage& device) {
  const int32_t readBefore = m_Done;
  auto stopped = [&] {
    if (m_LastWrite.BlocksSent == kFlashWriteBlocks && readBefore > 0) {
      Report(std::string("Проверка прервана! Все блоки записаны, но не проверены. ") + MonitorState(),
             kCheckStoppedCaption, OutcomeIcon::Error);
    } else {
      Report(Format("Чтение прервано! Считано блоков: %d из %d, данные модуля прочитаны "
                    "не полностью.",
                    m_Done - readBefore, kDeviceReads),
             kReadStoppedCaption, OutcomeIcon::Error);
    }
    return ProcedureStatus::Stopped;
  };

  m_Link.Synchronize();
  for (int32_t address = 0; address < kFlashSize; address += kReadReplySize) {
    if (ShouldStop()) return stopped();
    ReadBlockResult block = m_Link.ReadBlock(address);
    if (!block.Ok) {
      Log().Text("Err, RdSz=").Dec(block.Received).Text("\n");
      Report(kFlashReadFailed, kFlashReadCaption, OutcomeIcon::Error);
      return ProcedureStatus::LinkFailed;
    }
    std::copy(block.Data.begin(), block.Data.end(), device.Data() + address);
    Step();
  }
  for (int32_t k = 0; k < kRegionCount; ++k) {
    if (ShouldStop()) return stopped();
    const MemoryRegion& region = MemoryRegions[static_cast<size_t>(k)];
    ReadBlockResult block = m_Link.ReadBlock(region.Start);
    if (!block.Ok) {
      Log().Text("Err, RdSz=").Dec(block.Received).Text("\n");
      Report(kRegionReadFailed, kRegionReadCaption, OutcomeIcon::Error);
      return ProcedureStatus::LinkFailed;
    }
    const auto kept = static_cast<std::ptrdiff_t>(std::min(region.Size, kReadReplySize));
    std::copy(block.Data.begin(), block.Data.begin() + kept, device.Slot(k));
    Step();
  }
  m_Observer.DeviceImageRead();
  return ProcedureStatus::Done;
}

ProcedureStatus Procedures::ReadDevice(FirmwareImage& device) {
  m_Done = 0;
  m_Total = kDeviceReads;
  m_LastWrite = {};
  return ReadBlocks(device);
}

ProcedureStatus Procedures::CompareImages(const FirmwareImage& file, const FirmwareImage& device) {
  m_LastCompare = CountMismatches(file, device);
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

  if (verdict.empty()) {
    Report(kVerifyEqual, kVerifyEqualCaption, OutcomeIcon::Exclamation);
    return ProcedureStatus::Done;
  }
  verdict += kVerdictTail;
  if (error) {
    Report(std::move(verdict), kVerifyErrorCaption, OutcomeIcon::Error);
    return ProcedureStatus::Differs;
  }
  Report(std::move(verdict), kVerifyInfoCaption, OutcomeIcon::Exclamation);
  return ProcedureStatus::Done;
}

ProcedureStatus Procedures::Verify(const FirmwareImage& file, FirmwareImage& device) {
  ProcedureStatus status = ReadDevice(device);
  if (status != ProcedureStatus::Done) return status;
  return CompareImages(file, device);
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
  std::string question = "HEX-файл повреждён: " + DamageDescription(*load) + "\nЗаписать его в модуль всё равно?";
  if (observer.ConfirmSuspect(question)) {
    Log().SetColor(kColorWarning).Text("Записываю повреждённый HEX-файл по подтверждению\n").SetColor(kColorNormal);
    return true;
  }
  Report(kSuspectDeclined, kWriteCaption, OutcomeIcon::Error);
  return false;
}

ProcedureStatus Procedures::WriteBlocks(const FirmwareImage& file) {
  m_Link.Synchronize();
  for (int32_t address = 0; address < kFlashSize; address += kWriteDataSize) {
    if (ShouldStop()) {
      Log().Text("Запись прервана, записано блоков = ").Dec(m_LastWrite.BlocksSent).Text("\n");
      Report(Format("Запись прервана! Записано блоков: %d из %d, прошивка в модуле неполная. ", m_LastWrite.BlocksSent,
                    kFlashWriteBlocks) +
                 MonitorState(),
             kWriteStoppedCaption, OutcomeIcon::Error);
      return ProcedureStatus::Stopped;
    }
    std::span<const uint8_t, kWriteDataSize> data(file.Data() + address, kWriteDataSize);
    WriteOutcome outcome = m_Link.WriteBlock(address, data);
    ++m_LastWrite.BlocksSent;
    switch (outcome) {
      case WriteOutcome::Written: break;
      case WriteOutcome::Protected:
        ++m_LastWrite.ProtectedBlocks;
        if (UserArea.Contains(address)) ++m_LastWrite.ProtectedUserBlocks;
        break;
      case WriteOutcome::NoAnswer:
        Report(kWriteNoAnswer, kWriteCaption, OutcomeIcon::Error);
        return ProcedureStatus::LinkFailed;
      case WriteOutcome::WrongAnswer:
        Report(kWriteWrongAnswer, kWriteCaption, OutcomeIcon::Error);
        return ProcedureStatus::LinkFailed;
    }
    Step();
  }
  return ProcedureStatus::Done;
}

ProcedureStatus Procedures::WriteDevice(const FirmwareImage& file, const HexLoadResult* load, FirmwareImage& device) {
  m_Done = 0;
  m_Total = kFlashWriteBlocks + kDeviceReads;
  m_LastWrite = {};
  if (!AdmitFile(load, m_Observer)) return ProcedureStatus::Refused;

  Log().Text("Начинаю запись \n");
  ProcedureStatus status = WriteBlocks(file);
  if (status != ProcedureStatus::Done) return status;

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
  Log().Text("Начинаю проверку \n");
  status = ReadBlocks(device);
  if (status != ProcedureStatus::Done) return status;
  return CompareImages(file, device);
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
