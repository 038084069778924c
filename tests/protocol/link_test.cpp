#include "protocol/link.h"
#include "log_sinks.h"

#include <gtest/gtest.h>

#include <thread>

#include "fake_port.h"
#include "log/console_log.h"
#include "serial/system_error.h"

namespace tolvane {
namespace {

using test::FakePort;
using Bytes = std::vector<uint8_t>;

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override { Log().AddSink(m_Capture); }
  void TearDown() override { Log().RemoveSink(m_Capture); }
  std::string Logged() const { return m_Capture->Text(); }

  FakePort m_Port;
  MonitorLink m_Link{m_Port};
  std::shared_ptr<test::CaptureSink> m_Capture = std::make_shared<test::CaptureSink>();
};

TEST_F(LinkTest, AddressesGoOutLowByteFirst) {
  m_Link.ReadBlock(0x3FFFFE);
  m_Link.ReadBlock(0x200000);
  std::array<uint8_t, link::kWriteDataSize> data;
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  m_Link.WriteBlock(0x0400, data);

  ASSERT_EQ(m_Port.Writes.size(), 3u);
  EXPECT_EQ(m_Port.Writes[0].Bytes, (Bytes{0xCD, 0xE6, 0xFE, 0xFF, 0x3F}));
  EXPECT_EQ(m_Port.Writes[1].Bytes, (Bytes{0xCD, 0xE6, 0x00, 0x00, 0x20}));
  const Bytes& write = m_Port.Writes[2].Bytes;
  ASSERT_EQ(write.size(), 69u);  // one write call for the whole frame
  EXPECT_EQ(Bytes(write.begin(), write.begin() + 5), (Bytes{0xCD, 0xE7, 0x00, 0x04, 0x00}));
  EXPECT_EQ(Bytes(write.begin() + 5, write.end()), Bytes(data.begin(), data.end()));
}

TEST_F(LinkTest, ReadReplyIsJudgedByItsCount) {
  m_Port.Queue(31, 0x11);
  ReadBlockResult shortReply = m_Link.ReadBlock(0);
  EXPECT_FALSE(shortReply.Ok);
  EXPECT_EQ(shortReply.Received, 31);

  // 33 bytes: 32 taken, the surplus is the first byte the next command sees.
  m_Port.Queue(32, 0x22);
  m_Port.Queue({0x99});
  ReadBlockResult full = m_Link.ReadBlock(0x20);
  ASSERT_TRUE(full.Ok);
  EXPECT_EQ(full.Data[31], 0x22);
  m_Port.Queue(31, 0x33);
  ReadBlockResult next = m_Link.ReadBlock(0x40);
  ASSERT_TRUE(next.Ok);
  EXPECT_EQ(next.Data[0], 0x99);
  EXPECT_EQ(next.Data[1], 0x33);

  EXPECT_EQ(m_Link.ReadBlock(0x60).Received, 0);  // silence
}

TEST_F(LinkTest, WriteReplyGivesTheOutcome) {
  std::array<uint8_t, link::kWriteDataSize> data{};
  m_Port.Queue({0xAA});
  EXPECT_EQ(m_Link.WriteBlock(0, data), WriteOutcome::Written);
  m_Port.Queue({0xEE});
  EXPECT_EQ(m_Link.WriteBlock(0, data), WriteOutcome::Protected);
  m_Port.Queue({0x00});
  EXPECT_EQ(m_Link.WriteBlock(0, data), WriteOutcome::WrongAnswer);
  EXPECT_EQ(m_Link.WriteBlock(0, data), WriteOutcome::NoAnswer);
  m_Port.Opened = false;
  EXPECT_EQ(m_Link.WriteBlock(0, data), WriteOutcome::NoAnswer);
}

TEST_F(LinkTest, SynchronizeDiscardsInputAroundItsPause) {
  m_Port.Queue(100, 0x55);
  m_Port.Pending = 16;  // capture bursts still queued for sending
  m_Port.Responder = [](FakePort& port, const Bytes& sent) {
    if (sent == Bytes{0xCD}) port.Queue({0x01, 0x02});  // stale answer to the attention byte
  };
  m_Link.Synchronize();
  ASSERT_EQ(m_Port.Writes.size(), 2u);
  EXPECT_EQ(m_Port.Writes[0].Bytes, Bytes{0xCD});
  EXPECT_EQ(m_Port.Writes[1].Bytes, Bytes{0x00});
  EXPECT_GE(m_Port.Writes[1].At - m_Port.Writes[0].At, std::chrono::milliseconds(link::kSyncPauseMs));
  EXPECT_TRUE(m_Port.Input.empty());
  EXPECT_EQ(m_Port.Discards, 1);  // before the first byte
  EXPECT_EQ(m_Port.Writes[0].PendingBefore, 0);
}

TEST_F(LinkTest, StartFirmwareSynchronizesThenSendsTheRunFrame) {
  m_Link.StartFirmware();
  EXPECT_EQ(m_Port.AllSent(), (Bytes{0xCD, 0x00, 0xCD, 0xEB}));
  EXPECT_TRUE(Logged().empty());
}

// Where the port cannot tell what it still holds (a pseudo-terminal, a USB
// adapter), the bursts keep to the line's pace by time: 8 bytes are 80 bit
// times, 1.39 ms at 57600 baud, so a 1 ms request rate must not send each.
TEST_F(LinkTest, CaptureBurstsKeepToTheLinesPace) {
  EXPECT_TRUE(m_Link.SendCaptureBurst());
  ASSERT_EQ(m_Port.Writes.size(), 1u);
  EXPECT_EQ(m_Port.Writes[0].Bytes, Bytes(8, 0xCD));
  EXPECT_FALSE(m_Link.SendCaptureBurst());  // sooner than its wire time

  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  m_Port.Pending = 3;  // the line has not carried the last one yet
  EXPECT_FALSE(m_Link.SendCaptureBurst());
  EXPECT_EQ(m_Port.Writes.size(), 1u);

  m_Port.Pending = 0;
  EXPECT_TRUE(m_Link.SendCaptureBurst());
  m_Port.Opened = false;
  EXPECT_FALSE(m_Link.SendCaptureBurst());
  m_Port.Opened = true;

  // Asked for every millisecond for 200 ms: never more than the line carries.
  m_Port.Writes.clear();
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(200)) {
    m_Link.SendCaptureBurst();
    std::this_thread::sleep_for(std::chrono::milliseconds(link::kCapturePeriodMs));
  }
  const auto span = m_Port.Writes.back().At - m_Port.Writes.front().At;
  const double lineSeconds = static_cast<double>(m_Port.Writes.size() - 1) * 8 * 10 / 57600;
  EXPECT_GE(std::chrono::duration<double>(span).count(), lineSeconds);
  EXPECT_GT(m_Port.Writes.size(), 10u);  // and bursts still flow
}

TEST_F(LinkTest, ReceiveTickLogsWhatArrives) {
  ReceiveMonitor monitor;
  m_Port.Queue({0x01, 0xAB, 0xFF});
  ReceiveTickResult tick = monitor.Tick(m_Port);
  EXPECT_EQ(tick.Received, 3);
  EXPECT_EQ(Logged(), "Принято 3 байт: 01, ab, ff\n");

  m_Capture->Clear();
  for (int i = 0; i < 1500; ++i) m_Port.Input.push_back(static_cast<uint8_t>(i));
  monitor.Tick(m_Port);
  std::string line = Logged();
  ASSERT_EQ(line.rfind("Принято 1500 байт: 00, 01, 02, ", 0), 0u) << line;
  // 1024 bytes shown: the last is 1023 & 0xFF = ff, then the ellipsis.
  EXPECT_NE(line.find(", fe, ff, ...\n"), std::string::npos);
  EXPECT_EQ(line.size(), std::string("Принято 1500 байт: ").size() + 1024 * 2 + 1023 * 2 + 5 + 1);

  m_Capture->Clear();
  EXPECT_EQ(monitor.Tick(m_Port).Received, 0);  // silence logs nothing
  EXPECT_TRUE(Logged().empty());
}

TEST_F(LinkTest, ReceiveTickTakesAtMostOneBufferPerTick) {
  ReceiveMonitor monitor;
  m_Port.Queue(link::kReceiveBufferSize + 10, 0x42);
  EXPECT_EQ(monitor.Tick(m_Port).Received, link::kReceiveBufferSize);
  EXPECT_EQ(m_Port.Input.size(), 10u);
}

TEST_F(LinkTest, ReceiveTickReportsThroughputOnceASecond) {
  double now = 100;  // seconds, as the test's clock says
  ReceiveMonitor monitor([&now] { return now; });
  m_Port.Queue(500, 0x42);
  EXPECT_FALSE(monitor.Tick(m_Port).Status.has_value());
  m_Port.Frames = 2;
  now += 1.0;
  EXPECT_FALSE(monitor.Tick(m_Port).Status.has_value());  // strictly after a second
  now += 0.25;
  ReceiveTickResult tick = monitor.Tick(m_Port);
  ASSERT_TRUE(tick.Status.has_value());
  double rate = 0;
  char tail[64] = {};
  ASSERT_EQ(std::sscanf(tick.Status->c_str(), "%lf %63[^\n]", &rate, tail), 2) << *tick.Status;
  EXPECT_DOUBLE_EQ(rate, 400.0);  // 500 bytes in 1.25 s
  EXPECT_STREQ(tail, "байт/с, ошибок 2");
  EXPECT_FALSE(monitor.Tick(m_Port).Status.has_value());  // the second has just started

  // No rise in framing errors: nothing appended; a closed port shows its open error.
  now += 1.05;
  EXPECT_EQ(*monitor.Tick(m_Port).Status, "0.000 байт/с");
  m_Port.Opened = false;
  m_Port.OpenErrorText = "Порт занят";
  now += 1.05;
  EXPECT_EQ(*monitor.Tick(m_Port).Status, "Порт занят");
}

TEST_F(LinkTest, ReceiveTickReportsAFailedReadWithoutCounting) {
  ReceiveMonitor monitor;
  m_Port.Queue({0x10, 0x20});
  m_Port.Error = 5;
  ReceiveTickResult tick = monitor.Tick(m_Port);
  ASSERT_TRUE(tick.Failure);
  EXPECT_EQ(tick.Received, 0);
  EXPECT_EQ(tick.Failure->Caption, "ОШИБКА ПРИ РАБОТЕ С COM-ПОРТОМ");
  EXPECT_EQ(tick.Failure->Text, "Ошибка при чтении данных с выбранного порта\n" + FormatSystemError(5) +
                                    "\nПопробуйте выбрать порт заново\n");
  EXPECT_TRUE(Logged().empty());

  // A line that takes nothing is named as such, not by a "?".
  m_Port.Error = kWriteStalled;
  EXPECT_NE(monitor.Tick(m_Port).Failure.value_or(ProcedureOutcome{}).Text.find("\nПорт не принимает данные\n"),
            std::string::npos);

  // Once the port is dropped the stale code no longer counts as a failure.
  m_Port.Opened = false;
  EXPECT_FALSE(monitor.Tick(m_Port).Failure);
}

TEST(PortStatusText, NamesTheState) {
  FakePort port;
  port.OpenErrorText = "нет такого порта";
  EXPECT_EQ(PortStatusText(port, true), "открыт");
  port.Opened = false;
  EXPECT_EQ(PortStatusText(port, true), "нет такого порта");
  EXPECT_EQ(PortStatusText(port, false), "не задан");
}

}  // namespace
}  // namespace tolvane
