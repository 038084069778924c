#include "protocol/procedures.h"
#include "log_sinks.h"

#include <gtest/gtest.h>

#include "fake_monitor.h"
#include "image/hex_reader.h"
#include "log/console_log.h"
#include "serial/system_error.h"

namespace tolvane {
namespace {

using test::FakeMonitor;
using test::FakePort;

struct RecordingObserver : IProcedureObserver {
  std::vector<ProcedureOutcome> Outcomes;
  int32_t LastDone = 0, LastTotal = 0, Calls = 0;
  int32_t StopAfter = -1;  // blocks done before asking to stop
  bool Confirm = false;
  std::string Question;
  bool ImageRead = false;

  void Progress(int32_t done, int32_t total) override { LastDone = done, LastTotal = total, ++Calls; }
  void Outcome(const ProcedureOutcome& outcome) override { Outcomes.push_back(outcome); }
  bool StopRequested() override { return StopAfter >= 0 && LastDone >= StopAfter; }
  bool ConfirmSuspect(const std::string& question) override {
    Question = question;
    return Confirm;
  }
  void DeviceImageRead() override { ImageRead = true; }
};

constexpr const char* kMonitorOnlyVerdict =
    "Несовпадения есть только в области монитора, но это ерунда!\r\nНе совпадения выделены синим цветом";

class ProceduresTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Log().AddSink(m_Capture);
    m_Monitor.Attach(m_Port);
    for (int32_t i = 0; i < kMonitorAreaSize; ++i) m_Monitor.Memory[i] = static_cast<uint8_t>(i % 255);
    for (int32_t k = 0; k < kRegionCount; ++k)
      for (int32_t i = 0; i < kRegionSlotSize; ++i) m_Monitor.Memory.Slot(k)[i] = static_cast<uint8_t>(0x40 + k);
    // A file whose monitor area is empty, firmware above it, the device's own regions.
    for (int32_t i = kMonitorAreaSize; i < 0x8000; ++i) m_File[i] = static_cast<uint8_t>(i ^ (i >> 8));
    for (int32_t k = 0; k < kVerifiedRegionCount; ++k)
      for (int32_t i = 0; i < MemoryRegions[static_cast<size_t>(k)].Size; ++i) {
        m_File.Slot(k)[i] = static_cast<uint8_t>(0x40 + k);
        m_Load.RegionSet.set(static_cast<size_t>(RegionSlotOffset(k) + i - kFlashSize));
      }
    m_Load.FileRead = true;
    m_Load.BytesStored = 0x8000 - kMonitorAreaSize;
    m_Load.Records = m_Load.BytesStored / 16 + 1;
    m_Load.EndRecordSeen = true;
  }
  void TearDown() override { Log().RemoveSink(m_Capture); }
  std::string Logged() const { return m_Capture->Text(); }
  const ProcedureOutcome& Only() {
    EXPECT_EQ(m_Observer.Outcomes.size(), 1u);
    static const ProcedureOutcome none{};
    return m_Observer.Outcomes.empty() ? none : m_Observer.Outcomes.back();
  }

  FakePort m_Port;
  FakeMonitor m_Monitor;
  MonitorLink m_Link{m_Port};
  RecordingObserver m_Observer;
  Procedures m_Procedures{m_Link, m_Observer};
  FirmwareImage m_File, m_Device;
  HexLoadResult m_Load;
  std::shared_ptr<test::CaptureSink> m_Capture = std::make_shared<test::CaptureSink>();
};

TEST_F(ProceduresTest, WriteWithAProtectedMonitorVerifiesAsInformation) {
  EXPECT_EQ(m_Procedures.WriteDevice(m_File, &m_Load, m_Device), ProcedureStatus::Done);
  EXPECT_EQ(Logged(),
            "Начинаю запись \n"
            "Конец записи, записано блоков = 1024 из них защищено от изменений = 16\n"
            "Начинаю проверку \n"
            "ErrUserN = 0 ErrNMon=1024\n");
  const ProcedureOutcome& outcome = Only();
  EXPECT_EQ(outcome.Text, kMonitorOnlyVerdict);
  EXPECT_EQ(outcome.Caption, "ИНФОРМАЦИЯ");
  EXPECT_EQ(outcome.Icon, OutcomeIcon::Exclamation);
  EXPECT_EQ(m_Observer.LastDone, 1024 + 2054);
  EXPECT_EQ(m_Observer.LastTotal, 1024 + 2054);
  EXPECT_EQ(m_Observer.Calls, 1024 + 2054);
  EXPECT_TRUE(m_Observer.ImageRead);

  // Every user block went out in ascending order, blocks of 0xFF included.
  ASSERT_EQ(m_Monitor.WrittenAddresses.size(), 1008u);
  EXPECT_EQ(m_Monitor.WrittenAddresses.front(), 0x400);
  EXPECT_EQ(m_Monitor.WrittenAddresses.back(), 0xFFC0);
  EXPECT_TRUE(std::is_sorted(m_Monitor.WrittenAddresses.begin(), m_Monitor.WrittenAddresses.end()));
  for (int32_t i = kMonitorAreaSize; i < kFlashSize; ++i) ASSERT_EQ(m_Device[i], m_File[i]) << i;
  // Regions are never written; the device information stays as the device holds it.
  EXPECT_EQ(m_Device.Slot(2)[0], 0x42);
  EXPECT_EQ(m_Device.Slot(2)[31], 0x42);
  EXPECT_EQ(m_Device.Slot(2)[32], 0xFF);  // only half of the area is read
  EXPECT_EQ(m_Procedures.LastWrite().ProtectedBlocks, 16);
}

TEST_F(ProceduresTest, ProtectedUserBlockDrawsTheRedWarning) {
  m_Monitor.Replies[17] = {0xEE};  // block 0x400
  m_Procedures.WriteDevice(m_File, &m_Load, m_Device);
  EXPECT_EQ(m_Procedures.LastWrite().ProtectedBlocks, 17);
  EXPECT_EQ(m_Procedures.LastWrite().ProtectedUserBlocks, 1);
  auto spans = m_Capture->Spans();
  auto warning = std::find_if(spans.begin(), spans.end(), [](const auto& s) {
    return s.second == "Странно, защищено от изменений 1 блоков в пользовательской области \n";
  });
  ASSERT_NE(warning, spans.end()) << Logged();
  EXPECT_EQ(warning->first, kColorWarning);
  // The unwritten block differs, so the verdict is an error.
  EXPECT_EQ(Only().Caption, "ОШИБКА ВЕРИФИКАЦИИ");
}

TEST_F(ProceduresTest, WriteStopsAtTheFirstFailedAnswer) {
  m_Monitor.Replies[1] = {};  // nothing at all
  EXPECT_EQ(m_Procedures.WriteDevice(m_File, &m_Load, m_Device), ProcedureStatus::LinkFailed);
  EXPECT_EQ(Logged(), "Начинаю запись \n");
  // Every failure of a write says what was written and what the firmware
  // in the device is now, in one wording: a block that got no answer is no
  // write, so nothing changed and the monitor is not in question.
  const std::string unchanged =
      "\nЗаписано блоков: 0, защищено: 0 (из 1024), прошивка в модуле не изменена. Монитор в модуле сохранён, "
      "запись можно повторить.";
  EXPECT_EQ(Only().Text,
            "Ошибка при записи, нет ответа! Возможно схема не в режиме обновления прошивки или не "
            "поддерживает заливку hex - файлов." +
                unchanged);
  EXPECT_EQ(Only().Caption, "ОШИБКА ЗАПИСИ");
  EXPECT_EQ(Only().Icon, OutcomeIcon::Error);
  EXPECT_EQ(m_Monitor.Commands, 1);

  m_Observer.Outcomes.clear();
  m_Monitor.Commands = 0;
  m_Monitor.Replies = {{30, {0x00}}};
  EXPECT_EQ(m_Procedures.WriteDevice(m_File, &m_Load, m_Device), ProcedureStatus::LinkFailed);
  EXPECT_EQ(Only().Text,
            "Ошибка при записи - неверный ответ! Возможно схема не в режиме обновления прошивки "
            "или не поддерживает заливку hex - файлов.\nЗаписано блоков: 13, защищено: 16 (из 1024), прошивка в "
            "модуле неполная. Монитор в модуле сохранён, запись можно повторить.");
  EXPECT_EQ(m_Monitor.Commands, 30);

  // The same words with kept ranges, whose write mixes reads in.
  m_Observer.Outcomes.clear();
  m_Monitor.Commands = 0;
  m_Monitor.Replies = {{1, {}}};
  WriteOptions keep;
  keep.Keep = {{0xF000, 0xF100}};
  EXPECT_EQ(m_Procedures.WriteDevice(m_File, &m_Load, m_Device, Admission::Done, keep), ProcedureStatus::LinkFailed);
  EXPECT_NE(Only().Text.find(unchanged), std::string::npos) << Only().Text;

  // After the last block, a verification that fails says the blocks are in.
  m_Observer.Outcomes.clear();
  m_Monitor.Commands = 0;
  m_Monitor.Replies = {{link::kFlashWriteBlocks + 5, {}}};
  EXPECT_EQ(m_Procedures.WriteDevice(m_File, &m_Load, m_Device), ProcedureStatus::LinkFailed);
  EXPECT_NE(Only().Text.find("\nВсе блоки записаны, но не проверены."), std::string::npos) << Only().Text;
}

TEST_F(ProceduresTest, ReadFailuresLogTheCountReceived) {
  m_Monitor.Replies[1] = {};
  EXPECT_EQ(m_Procedures.ReadDevice(m_Device), ProcedureStatus::LinkFailed);
  EXPECT_EQ(Logged(), "Err, RdSz=0\n");
  EXPECT_EQ(Only().Caption, "ОШИБКА ЧТЕНИЯ");
  EXPECT_EQ(Only().Text,
            "Ошибка при считывании данных из модуля! Ошибка связи, схема не в режиме "
            "перепрограммирования или монитор не поддерживает чтение прошивки.");
  EXPECT_FALSE(m_Observer.ImageRead);

  // The Revision ID region keeps 2 bytes, yet a reply of 10 is still a failure.
  m_Capture->Clear();
  m_Observer.Outcomes.clear();
  m_Monitor.Commands = 0;
  m_Monitor.Replies = {{2048 + 5, std::vector<uint8_t>(10, 0x01)}};
  EXPECT_EQ(m_Procedures.ReadDevice(m_Device), ProcedureStatus::LinkFailed);
  EXPECT_EQ(Logged(), "Err, RdSz=10\n");
  EXPECT_EQ(Only().Text, "Ошибка при считывании reg !");
  EXPECT_EQ(Only().Caption, "ОШИБКА");
  EXPECT_EQ(m_Device.Slot(3)[0], 0x43);  // regions before the failing one are in
  EXPECT_EQ(m_Device.Slot(4)[0], 0xFF);
}

TEST_F(ProceduresTest, ClosedPortFailsAtTheFirstCommand) {
  m_Port.Opened = false;
  EXPECT_EQ(m_Procedures.ReadDevice(m_Device), ProcedureStatus::LinkFailed);
  EXPECT_EQ(Logged(), "Err, RdSz=0\n");
  EXPECT_EQ(m_Procedures.WriteDevice(m_File, &m_Load, m_Device), ProcedureStatus::LinkFailed);
  EXPECT_EQ(m_Observer.Outcomes.back().Caption, "ОШИБКА ЗАПИСИ");

  // Run says the port is not open instead of pretending success.
  m_Observer.Outcomes.clear();
  EXPECT_EQ(m_Procedures.Run(), ProcedureStatus::Refused);
  EXPECT_EQ(Only().Text, "Порт не открыт! Команда запуска не отправлена, выберите порт.");
  m_Port.Opened = true;
  m_Observer.Outcomes.clear();
  EXPECT_EQ(m_Procedures.Run(), ProcedureStatus::Done);
  EXPECT_TRUE(m_Observer.Outcomes.empty());
  EXPECT_EQ(m_Port.AllSent(), (std::vector<uint8_t>{0xCD, 0x00, 0xCD, 0xEB}));
}

TEST_F(ProceduresTest, StopBetweenBlocksSaysWhatTheDeviceHolds) {
  m_Observer.StopAfter = 100;
  EXPECT_EQ(m_Procedures.WriteDevice(m_File, &m_Load, m_Device), ProcedureStatus::Stopped);
  EXPECT_EQ(m_Monitor.Commands, 100);
  EXPECT_EQ(Only().Caption, "ЗАПИСЬ ПРЕРВАНА");
  // The monitor's refusals are no writes: the two are counted apart.
  EXPECT_NE(Only().Text.find("Записано блоков: 84, защищено: 16 (из 1024)"), std::string::npos) << Only().Text;
  EXPECT_NE(Only().Text.find("Монитор в модуле сохранён, запись можно повторить."), std::string::npos);
  EXPECT_EQ(Logged().find("Конец записи"), std::string::npos);

  // A stop during the verification of a complete write.
  m_Observer.Outcomes.clear();
  m_Observer.StopAfter = 1024 + 5;
  EXPECT_EQ(m_Procedures.WriteDevice(m_File, &m_Load, m_Device), ProcedureStatus::Stopped);
  EXPECT_EQ(Only().Caption, "ПРОВЕРКА ПРЕРВАНА");
  EXPECT_NE(Only().Text.find("Монитор в модуле сохранён"), std::string::npos);

  // A monitor that took its blocks may have been changed: never claim it kept.
  m_Monitor.ProtectMonitor = false;
  for (int32_t stopAfter : {3, 100, 1024 + 5}) {
    m_Observer.Outcomes.clear();
    m_Observer.StopAfter = stopAfter;
    EXPECT_EQ(m_Procedures.WriteDevice(m_File, &m_Load, m_Device), ProcedureStatus::Stopped);
    EXPECT_EQ(Only().Text.find("Монитор в модуле сохранён"), std::string::npos) << stopAfter;
    EXPECT_NE(Only().Text.find("монитор в модуле мог быть изменён"), std::string::npos) << stopAfter;
  }

  m_Observer.Outcomes.clear();
  m_Observer.StopAfter = 7;
  EXPECT_EQ(m_Procedures.ReadDevice(m_Device), ProcedureStatus::Stopped);
  EXPECT_EQ(Only().Caption, "ЧТЕНИЕ ПРЕРВАНО");
  EXPECT_NE(Only().Text.find("Считано блоков: 7 из 2054"), std::string::npos);
}

TEST_F(ProceduresTest, WritesThatAreRefused) {
  EXPECT_EQ(m_Procedures.WriteDevice(m_File, nullptr, m_Device), ProcedureStatus::Refused);
  EXPECT_EQ(Only().Text, "HEX-файл не загружен! Запись не начата, прошивка в модуле не изменена.");
  EXPECT_TRUE(m_Port.Writes.empty());

  m_Observer.Outcomes.clear();
  HexLoadResult unread;
  unread.OpenError = "No such file or directory";
  EXPECT_EQ(m_Procedures.WriteDevice(m_File, &unread, m_Device), ProcedureStatus::Refused);
  EXPECT_NE(Only().Text.find("No such file or directory"), std::string::npos);

  m_Observer.Outcomes.clear();
  m_Load.DamagedRecords = 2;
  m_Load.FirstDamagedLine = 14;
  m_Load.FirstDamage = "неверная контрольная сумма";
  m_Load.DroppedBytes = 16;
  EXPECT_EQ(m_Procedures.WriteDevice(m_File, &m_Load, m_Device), ProcedureStatus::Refused);
  EXPECT_EQ(m_Observer.Question,
            "HEX-файл вызывает сомнения: повреждённых записей 2, первая в строке 14: неверная контрольная сумма; "
            "данные вне памяти этого микроконтроллера (16 байт), файл может быть для другого МК.\n"
            "Записать его в модуль всё равно?");
  // The user's own "no" needs no message of its own.
  EXPECT_TRUE(m_Observer.Outcomes.empty());
  EXPECT_TRUE(m_Port.Writes.empty());
  EXPECT_EQ(Logged(), "Повреждённый HEX-файл не записан: запись отменена\n");

  m_Observer.Outcomes.clear();
  m_Observer.Confirm = true;
  EXPECT_EQ(m_Procedures.WriteDevice(m_File, &m_Load, m_Device), ProcedureStatus::Done);
  EXPECT_EQ(m_Monitor.WrittenAddresses.size(), 1008u);

  // A load without program data (text, S-records, a raw image, a file cut
  // short or holding only configuration) would erase the device: refused
  // even when a damaged file would be confirmed.
  m_Observer.Outcomes.clear();
  m_Monitor.WrittenAddresses.clear();
  m_Port.Writes.clear();
  FirmwareImage blank;
  for (const char* text : {"", "S00F000068656C6C6F202020202000003C\n", ":020000040030CA\n:0100000012ED\n:0100"}) {
    m_Observer.Outcomes.clear();
    HexLoadResult load = LoadHexText(text, blank);
    EXPECT_EQ(m_Procedures.WriteDevice(blank, &load, m_Device), ProcedureStatus::Refused) << text;
    EXPECT_EQ(Only().Text, "В HEX-файле нет данных программы! Запись не начата, прошивка в модуле не изменена.");
  }
  EXPECT_TRUE(m_Port.Writes.empty());
}

TEST_F(ProceduresTest, VerifyReadsThenCompares) {
  m_Monitor.Memory = m_File;
  m_Monitor.Memory.Slot(5)[0] = 0x12;  // device information is never compared
  EXPECT_EQ(m_Procedures.Verify(m_File, m_Device), ProcedureStatus::Done);
  EXPECT_EQ(Only().Text, "Все в порядке, данные одинаковы !\nНажмите 'Пуск' для запуска прошивки");
  EXPECT_EQ(Only().Caption, "ВЕРИФИКАЦИЯ ПРОШИВКИ");
  EXPECT_EQ(Only().Icon, OutcomeIcon::Exclamation);
  EXPECT_EQ(Logged(), "ErrUserN = 0 ErrNMon=0\n");
}

// Bytes behind a reply (one surplus byte, chatter of a running firmware)
// shift every later reply: the procedure stops at once and says why, and a
// read that ends so is no read. Surplus after the last reply is caught too.
TEST_F(ProceduresTest, SurplusBytesStopTheProcedureBeforeShiftedDataIsUsed) {
  m_Monitor.Memory = m_File;
  for (int32_t command : {1, 700, link::kDeviceReads}) {
    m_Observer = {};
    m_Monitor.Commands = 0;
    std::vector<uint8_t> reply(link::kReadReplySize, 0xFF);
    reply.push_back(0xA5);
    m_Monitor.Replies = {{command, reply}};
    EXPECT_EQ(m_Procedures.Verify(m_File, m_Device, &m_Load.RegionSet), ProcedureStatus::LinkFailed) << command;
    EXPECT_FALSE(m_Observer.ImageRead) << command;
    EXPECT_EQ(Only().Caption, "ОШИБКА СВЯЗИ");
    EXPECT_NE(Only().Text.find("лишние байты после ответа"), std::string::npos);
    EXPECT_EQ(m_Monitor.Commands, command) << "no command after the surplus";
  }
  // During a write: stopped before the next block, with what the device holds.
  m_Observer = {};
  m_Monitor.Commands = 0;
  m_Monitor.Replies = {{40, {link::kReplyWritten, 0x00}}};
  EXPECT_EQ(m_Procedures.WriteDevice(m_File, &m_Load, m_Device), ProcedureStatus::LinkFailed);
  EXPECT_EQ(m_Monitor.Commands, 40);
  EXPECT_NE(Only().Text.find("прошивка в модуле неполная"), std::string::npos) << Only().Text;
  EXPECT_NE(Logged().find("Лишние байты от модуля после ответа: 1\n"), std::string::npos);
}

// Nothing writes the configuration: a file that sets none of it is compared
// without it (and says so), one that sets some compares just those bytes.
TEST_F(ProceduresTest, OnlyTheConfigurationBytesAFileSetsAreCompared) {
  FirmwareImage device = m_File;
  for (int32_t i = 0; i < 10; ++i) device.Slot(1)[i] = 0x12;  // programmed, unlike the file's
  RegionCoverage none;
  EXPECT_EQ(m_Procedures.CompareImages(m_File, device, &none), ProcedureStatus::Done);
  EXPECT_EQ(Only().Text,
            "Все в порядке, данные одинаковы !\nНажмите 'Пуск' для запуска прошивки\n"
            "В HEX-файле нет слов конфигурации и идентификаторов, они не сравнивались.");
  EXPECT_FALSE(m_Procedures.LastCompare().ConfigurationCompared);

  m_Observer.Outcomes.clear();
  RegionCoverage some;
  some.set(static_cast<size_t>(RegionSlotOffset(1) + 2 - kFlashSize));
  EXPECT_EQ(m_Procedures.CompareImages(m_File, device, &some), ProcedureStatus::Differs);
  EXPECT_EQ(m_Procedures.LastCompare().ConfigurationMismatches, 1);
  EXPECT_EQ(m_Procedures.LastCompare().FirstConfigurationMismatch, RegionSlotOffset(1) + 2);
}

// A port whose system calls fail (an adapter pulled out) is reported as lost,
// with the system's reason, not as a device that does not answer.
TEST_F(ProceduresTest, ALostPortIsSaidToBeLost) {
  m_Monitor.Replies[30] = {};
  m_Port.Responder = [this, inner = m_Port.Responder](test::FakePort& port, const std::vector<uint8_t>& frame) {
    inner(port, frame);
    if (m_Monitor.Commands == 30) port.Error = kSystemDeviceGone;
  };
  EXPECT_EQ(m_Procedures.WriteDevice(m_File, &m_Load, m_Device), ProcedureStatus::LinkFailed);
  EXPECT_EQ(Only().Caption, "ОШИБКА ПРИ РАБОТЕ С COM-ПОРТОМ");
  EXPECT_EQ(Only().Text.rfind("Связь с портом потеряна: " + FormatSystemError(kSystemDeviceGone) + ".", 0), 0u)
      << Only().Text;
  EXPECT_NE(Only().Text.find("Записано блоков: 13, защищено: 16 (из 1024)"), std::string::npos) << Only().Text;
}

// Only what changed: an equal block is read and not sent, a differing one
// written and read back, the monitor's blocks never sent, and no block's
// final content goes unread. A run of differing blocks is written without
// reading it first (the read-back still decides).
TEST_F(ProceduresTest, AWriteOfOnlyWhatChangedReadsEveryBlockAndSendsWhatDiffers) {
  WriteOptions changed;
  changed.ChangedOnly = true;
  auto flashReads = [&] {
    int32_t reads = 0;
    for (const auto& [address, count] : m_Monitor.Reads) reads += address < kFlashSize ? count : 0;
    return reads;
  };
  auto everyBlockRead = [&] {
    for (int32_t a = 0; a < kFlashSize; a += link::kReadReplySize)
      if (m_Monitor.Reads[a] == 0) return false;
    return true;
  };

  // The device holds the file: nothing is sent.
  for (int32_t i = kMonitorAreaSize; i < kFlashSize; ++i) m_Monitor.Memory[i] = m_File[i];
  EXPECT_EQ(m_Procedures.WriteDevice(m_File, &m_Load, m_Device, Admission::Done, changed), ProcedureStatus::Done);
  EXPECT_TRUE(m_Monitor.WrittenAddresses.empty());
  EXPECT_EQ(m_Procedures.LastWrite().BlocksAlreadyRight, 1008);
  EXPECT_EQ(m_Procedures.LastWrite().MonitorBlocksSent, 0);
  EXPECT_EQ(flashReads(), link::kFlashReadBlocks);
  EXPECT_TRUE(everyBlockRead());
  EXPECT_EQ(Only().Caption, "ИНФОРМАЦИЯ");
  EXPECT_NE(Only().Text.find("Записано блоков: 0, уже были верны: 1008. Блоки области монитора не отправлялись"),
            std::string::npos)
      << Only().Text;

  // Three blocks differ: just those are written, and read back.
  for (int32_t address : {0x2000, 0x5000, 0x7FC0}) m_Monitor.Memory[address + 5] ^= 0xFF;
  m_Monitor.Reads.clear();
  m_Observer = {};
  EXPECT_EQ(m_Procedures.WriteDevice(m_File, &m_Load, m_Device, Admission::Done, changed), ProcedureStatus::Done);
  EXPECT_EQ(m_Monitor.WrittenAddresses, (std::vector<int32_t>{0x2000, 0x5000, 0x7FC0}));
  EXPECT_EQ(m_Monitor.Reads[0x2000], 2);
  EXPECT_EQ(m_Monitor.Reads[0x2020], 2);
  EXPECT_EQ(m_Procedures.LastCompare().UserMismatches, 0);

  // Everything differs: a run of differing blocks is written at once, so
  // far fewer reads than read-then-write-then-read-back would take.
  for (int32_t i = kMonitorAreaSize; i < kFlashSize; ++i) m_Monitor.Memory[i] = static_cast<uint8_t>(~m_File[i]);
  m_Monitor.Reads.clear();
  m_Monitor.WrittenAddresses.clear();
  m_Observer = {};
  EXPECT_EQ(m_Procedures.WriteDevice(m_File, &m_Load, m_Device, Admission::Done, changed), ProcedureStatus::Done);
  EXPECT_EQ(m_Monitor.WrittenAddresses.size(), 1008u);
  EXPECT_LT(flashReads(), link::kFlashReadBlocks + 1008 / 4);  // not + 2 * 1008
  EXPECT_TRUE(everyBlockRead());
  for (int32_t i = kMonitorAreaSize; i < kFlashSize; ++i) ASSERT_EQ(m_Monitor.Memory[i], m_File[i]) << i;
  EXPECT_EQ(m_Procedures.LastCompare().UserMismatches, 0);
}

// Kept ranges: the device's bytes there survive (their blocks written with
// them merged in), the comparison leaves them out, the outcome names them.
// A backup that cannot be kept stops the write before anything is sent.
TEST_F(ProceduresTest, KeptRangesSurviveAndABackupComesFirst) {
  for (int32_t i = 0xF000; i < 0xF100; ++i) m_Monitor.Memory[i] = 0x5A;
  m_Monitor.Memory[0xE015] = 0x11;
  for (bool changedOnly : {false, true}) {
    m_Observer = {};
    WriteOptions keep;
    keep.ChangedOnly = changedOnly;
    keep.Keep = {{0xE010, 0xE018}, {0xF000, 0xF100}};
    EXPECT_EQ(m_Procedures.WriteDevice(m_File, &m_Load, m_Device, Admission::Done, keep), ProcedureStatus::Done);
    for (int32_t i = 0xF000; i < 0xF100; ++i) ASSERT_EQ(m_Monitor.Memory[i], 0x5A) << i;
    EXPECT_EQ(m_Monitor.Memory[0xE015], 0x11);
    EXPECT_EQ(m_Monitor.Memory[0xE018], m_File[0xE018]);  // the same block, outside the range
    EXPECT_EQ(m_Procedures.LastCompare().UserMismatches, 0);
    EXPECT_NE(Only().Text.find("Данные модуля сохранены: 0xE010–0xE017, 0xF000–0xF0FF."), std::string::npos)
        << Only().Text;
  }

  m_Observer = {};
  m_Monitor.WrittenAddresses.clear();
  WriteOptions backup;
  FirmwareImage saved;
  backup.BeforeWriting = [&](const FirmwareImage& before) {
    saved = before;
    return std::string("No space left on device");
  };
  EXPECT_EQ(m_Procedures.WriteDevice(m_File, &m_Load, m_Device, Admission::Done, backup), ProcedureStatus::Refused);
  EXPECT_TRUE(m_Monitor.WrittenAddresses.empty());
  EXPECT_EQ(saved[0xF000], 0x5A);
  EXPECT_EQ(Only().Text,
            "Резервная копия не сохранена: No space left on device\nЗапись не начата, прошивка в модуле не изменена.");
}

struct CompareCase {
  const char* Name;
  std::vector<int32_t> Changed;  // offsets changed on the device side
  const char* Verdict;
  const char* Caption;
  ProcedureStatus Status;
};

class CompareTest : public ProceduresTest, public ::testing::WithParamInterface<CompareCase> {};

TEST_P(CompareTest, Verdict) {
  const CompareCase& c = GetParam();
  FirmwareImage device = m_File;
  for (int32_t offset : c.Changed) device[offset] = static_cast<uint8_t>(~device[offset]);
  EXPECT_EQ(m_Procedures.CompareImages(m_File, device), c.Status);
  EXPECT_EQ(Only().Text, c.Verdict);
  EXPECT_EQ(Only().Caption, c.Caption);
  EXPECT_EQ(Only().Icon, c.Status == ProcedureStatus::Differs ? OutcomeIcon::Error : OutcomeIcon::Exclamation);
}

const int32_t kDeviceInfo[] = {RegionSlotOffset(2), RegionSlotOffset(2) + 63, RegionSlotOffset(3),
                               RegionSlotOffset(4) + 1, RegionSlotOffset(5)};

INSTANTIATE_TEST_SUITE_P(
    Areas, CompareTest,
    ::testing::Values(CompareCase{"MonitorEdge", {0x3FF}, kMonitorOnlyVerdict, "ИНФОРМАЦИЯ", ProcedureStatus::Done},
                      CompareCase{"UserEdge",
                                  {0x400},
                                  "Данные пользователя не совпадают!\r\nНе совпадения выделены синим цветом",
                                  "ОШИБКА ВЕРИФИКАЦИИ",
                                  ProcedureStatus::Differs},
                      CompareCase{
                          "ConfigurationOnly",
                          {RegionSlotOffset(1) + 9},
                          "Данные конфигурации / идентификаторы не совпадают!\r\nНе совпадения выделены синим цветом",
                          "ОШИБКА ВЕРИФИКАЦИИ",
                          ProcedureStatus::Differs},
                      CompareCase{"UserAndMonitor",
                                  {0x10, 0xFFFF},
                                  "Данные пользователя не совпадают!\r\nНесовпадения есть только в области монитора, "
                                  "но это ерунда!\r\nНе совпадения выделены синим цветом",
                                  "ОШИБКА ВЕРИФИКАЦИИ",
                                  ProcedureStatus::Differs},
                      CompareCase{"DeviceInformationNever",
                                  {kDeviceInfo[0], kDeviceInfo[1], kDeviceInfo[2], kDeviceInfo[3], kDeviceInfo[4],
                                   RegionSlotOffset(1) + 10, RegionSlotOffset(0) + 16},
                                  "Все в порядке, данные одинаковы !\nНажмите 'Пуск' для запуска прошивки",
                                  "ВЕРИФИКАЦИЯ ПРОШИВКИ",
                                  ProcedureStatus::Done}),
    [](const ::testing::TestParamInfo<CompareCase>& param) { return std::string(param.param.Name); });

TEST(CountMismatches, FirstOffsetsPerArea) {
  FirmwareImage file, device;
  device[0x3FF] = 0;
  device[0x500] = 0;
  device[0x501] = 0;
  device[RegionSlotOffset(1) + 3] = 0;
  CompareCounts c = CountMismatches(file, device);
  EXPECT_EQ(c.MonitorMismatches, 1);
  EXPECT_EQ(c.UserMismatches, 2);
  EXPECT_EQ(c.ConfigurationMismatches, 1);
  EXPECT_EQ(c.FirstMonitorMismatch, 0x3FF);
  EXPECT_EQ(c.FirstUserMismatch, 0x500);
  EXPECT_EQ(c.FirstConfigurationMismatch, RegionSlotOffset(1) + 3);
}

}  // namespace
}  // namespace tolvane
