// The monitor's behaviour byte by byte, without a line.
#include "sim/monitor_machine.h"
#include "sim/simulated_device.h"

#include "monitor_frames.h"

#include <gtest/gtest.h>

namespace tolvane::sim {
namespace {

using test::ReadFrame;
using test::WriteFrame;

class MachineTest : public ::testing::Test {
 protected:
  void Build() {
    m_Machine = std::make_unique<MonitorMachine>(m_Options, m_Memory, m_Stats);
    m_Machine->Reset(0);
  }
  void SetUp() override { Build(); }

  // Feeds the bytes at time `at`; returns every reply byte, in order.
  std::vector<uint8_t> Feed(const std::vector<uint8_t>& bytes, int64_t at = 0) {
    std::vector<uint8_t> reply;
    for (uint8_t b : bytes) {
      MonitorAction action = m_Machine->Feed(b, at);
      m_LastDelayNs = action.DelayNs;
      m_Vanished = m_Vanished || action.Vanish;
      reply.insert(reply.end(), action.Reply.begin(), action.Reply.end());
    }
    return reply;
  }

  SimulatedDeviceOptions m_Options;
  FirmwareImage m_Memory = SimulatedDevice::FactoryImage();
  SimulatedDeviceStats m_Stats;
  std::unique_ptr<MonitorMachine> m_Machine;
  int64_t m_LastDelayNs = 0;
  bool m_Vanished = false;
};

TEST_F(MachineTest, ReadsFlashAndRegionsByTheirAddresses) {
  std::vector<uint8_t> id = Feed(ReadFrame(0x3FFFFE));
  ASSERT_EQ(id.size(), 32u);
  EXPECT_EQ(id[0], 0x60);  // device ID 0x6C60, low byte first
  EXPECT_EQ(id[1], 0x6C);
  for (size_t i = 2; i < 32; ++i) EXPECT_EQ(id[i], kSimFillerByte) << i;

  // Configuration words: 10 bytes, then filler past the region's size.
  std::vector<uint8_t> config = Feed(ReadFrame(0x300000));
  ASSERT_EQ(config.size(), 32u);
  EXPECT_TRUE(std::equal(config.begin(), config.begin() + 10, m_Memory.Slot(1)));
  EXPECT_EQ(config[10], kSimFillerByte);

  m_Memory[0x8020] = 0x5A;
  m_Memory[0x803F] = 0xC3;
  std::vector<uint8_t> flash = Feed(ReadFrame(0x8020));
  ASSERT_EQ(flash.size(), 32u);
  EXPECT_EQ(flash.front(), 0x5A);
  EXPECT_EQ(flash.back(), 0xC3);
  EXPECT_EQ(m_Stats.ReadCommands, 3);
}

TEST_F(MachineTest, WritesTheUserAreaAndProtectsEverythingElse) {
  m_Options.ProgramTimeUs = 2000;
  const FirmwareImage before = m_Memory;
  EXPECT_EQ(Feed(WriteFrame(0x0400, 0x10)), std::vector<uint8_t>{0xAA});
  EXPECT_EQ(m_LastDelayNs, 2'000'000);
  EXPECT_EQ(m_Memory[0x0400], 0x10);
  EXPECT_EQ(m_Memory[0x043F], 0x10 + 63);

  // Monitor blocks, a misaligned block, region addresses: 0xEE, nothing changes.
  FirmwareImage afterFirst = m_Memory;
  for (int32_t address : {0x0000, 0x03C0, 0x0420, 0x300000, 0xFFC0 + 0x10000}) {
    EXPECT_EQ(Feed(WriteFrame(address, 0x77)), std::vector<uint8_t>{0xEE}) << std::hex << address;
    EXPECT_EQ(m_LastDelayNs, 0);
  }
  EXPECT_EQ(m_Memory, afterFirst);
  EXPECT_TRUE(std::equal(before.Data(), before.Data() + kMonitorAreaSize, m_Memory.Data()));

  EXPECT_EQ(Feed(WriteFrame(0xFFC0, 0x01)), std::vector<uint8_t>{0xAA});  // last block
  EXPECT_EQ(m_Stats.BlocksWritten, 2);
  EXPECT_EQ(m_Stats.BlocksProtected, 5);
  EXPECT_EQ(m_Stats.WriteCommands, 7);
}

TEST_F(MachineTest, IgnoresStrayBytesAndRepeatedAttention) {
  // Synchronisation, a capture burst, unknown commands, noise: no reply.
  EXPECT_TRUE(Feed({0xCD, 0x00, 0xCD, 0xCD, 0xCD, 0xCD, 0x12, 0xCD, 0x99, 0xE6, 0xE7, 0xAA}).empty());
  // Attention bytes in front of a frame, and 0xCD inside its data, change nothing.
  std::vector<uint8_t> frame = WriteFrame(0x1000, 0xC0);  // data runs through 0xCD
  frame.insert(frame.begin(), {0xCD, 0xCD, 0xCD});
  EXPECT_EQ(Feed(frame), std::vector<uint8_t>{0xAA});
  EXPECT_EQ(m_Memory[0x1000 + 0x0D], 0xCD);
  EXPECT_EQ(Feed(ReadFrame(0x1000)).size(), 32u);
  EXPECT_EQ(m_Stats.BytesIgnored, 12 + 3);
  EXPECT_EQ(m_Stats.BytesReceived, 12 + 72 + 5);
}

TEST_F(MachineTest, RunStartsTheFirmwareUntilReset) {
  EXPECT_TRUE(Feed({0xCD, 0xEB}).empty());
  EXPECT_EQ(m_Machine->State(), SimState::Firmware);
  EXPECT_TRUE(Feed(ReadFrame(0)).empty());
  EXPECT_TRUE(Feed(WriteFrame(0x0400, 0)).empty());
  EXPECT_EQ(m_Memory, SimulatedDevice::FactoryImage());
  m_Machine->Reset(0);
  EXPECT_EQ(Feed(ReadFrame(0)).size(), 32u);
  EXPECT_EQ(m_Stats.RunCommands, 1);
}

// Each fault hits the command with its number only; reads and writes count
// together.
TEST_F(MachineTest, FaultsHitTheirCommandOnly) {
  m_Options.NoiseBytes = 5;
  m_Options.Faults = {{SimFaultKind::NoAnswer, 2},   {SimFaultKind::WrongAnswer, 3}, {SimFaultKind::ShortReply, 4},
                      {SimFaultKind::ExtraByte, 5},  {SimFaultKind::Noise, 6},       {SimFaultKind::WrongAnswer, 8},
                      {SimFaultKind::ShortReply, 9}, {SimFaultKind::NoAnswer, 10},   {SimFaultKind::Noise, 11},
                      {SimFaultKind::ExtraByte, 12}, {SimFaultKind::Vanish, 13}};
  Build();
  m_Memory[0x2000] = 0x3C;
  const std::vector<uint8_t> good = Feed(ReadFrame(0x2000));  // 1
  ASSERT_EQ(good.size(), 32u);
  EXPECT_TRUE(Feed(ReadFrame(0x2000)).empty());          // 2
  std::vector<uint8_t> wrong = Feed(ReadFrame(0x2000));  // 3
  ASSERT_EQ(wrong.size(), 32u);
  EXPECT_EQ(wrong[0], 0xC3);
  EXPECT_EQ(Feed(ReadFrame(0x2000)), std::vector<uint8_t>(good.begin(), good.end() - 1));  // 4
  std::vector<uint8_t> extra = good;
  extra.push_back(kSimExtraByte);
  EXPECT_EQ(Feed(ReadFrame(0x2000)), extra);             // 5
  std::vector<uint8_t> noisy = Feed(ReadFrame(0x2000));  // 6
  ASSERT_EQ(noisy.size(), 37u);
  EXPECT_TRUE(std::equal(good.begin(), good.end(), noisy.begin() + 5));

  EXPECT_EQ(Feed(WriteFrame(0x0400, 1)), std::vector<uint8_t>{0xAA});  // 7
  EXPECT_EQ(Feed(WriteFrame(0x0440, 1)), std::vector<uint8_t>{0x00});  // 8
  EXPECT_TRUE(Feed(WriteFrame(0x0480, 1)).empty());                    // 9
  EXPECT_TRUE(Feed(WriteFrame(0x04C0, 1)).empty());                    // 10
  EXPECT_EQ(m_Memory[0x0440], 0xFF);                                   // faulted writes leave flash as it was
  EXPECT_EQ(m_Memory[0x0480], 0xFF);
  EXPECT_EQ(m_Memory[0x04C0], 0xFF);
  std::vector<uint8_t> noiseThenAck = Feed(WriteFrame(0x0500, 1));  // 11
  ASSERT_EQ(noiseThenAck.size(), 6u);
  EXPECT_NE(noiseThenAck[0], 0xAA);
  EXPECT_NE(noiseThenAck[0], 0xEE);
  EXPECT_EQ(noiseThenAck[5], 0xAA);
  EXPECT_EQ(Feed(WriteFrame(0x0000, 1)), (std::vector<uint8_t>{0xEE, kSimExtraByte}));  // 12
  EXPECT_FALSE(m_Vanished);
  EXPECT_TRUE(Feed(ReadFrame(0)).empty());  // 13
  EXPECT_TRUE(m_Vanished);
  EXPECT_EQ(m_Stats.FaultsInjected, 11);
}

TEST_F(MachineTest, CaptureGatesTheMonitorAfterAReset) {
  m_Options.RequireCapture = true;
  m_Options.CaptureWindowMs = 100;
  Build();
  EXPECT_EQ(m_Machine->State(), SimState::Capturing);
  EXPECT_EQ(m_Machine->CaptureDeadlineNs(), 100'000'000);
  // Three attention bytes then something else is no burst; nor is a frame.
  EXPECT_TRUE(Feed({0xCD, 0xCD, 0xCD, 0x00}, 1'000'000).empty());
  EXPECT_TRUE(Feed(ReadFrame(0), 2'000'000).empty());
  EXPECT_EQ(m_Machine->State(), SimState::Capturing);
  EXPECT_TRUE(Feed({0xCD, 0xCD, 0xCD, 0xCD, 0xCD, 0xCD, 0xCD, 0xCD}, 3'000'000).empty());
  EXPECT_EQ(m_Machine->State(), SimState::Monitor);
  EXPECT_EQ(Feed(ReadFrame(0x3FFFFE), 4'000'000).size(), 32u);

  // A reset with nothing on the line runs into the firmware when the window ends.
  m_Machine->Reset(10'000'000);
  m_Machine->Tick(109'000'000);
  EXPECT_EQ(m_Machine->State(), SimState::Capturing);
  m_Machine->Tick(110'000'000);
  EXPECT_EQ(m_Machine->State(), SimState::Firmware);
  // A burst that comes too late finds the firmware.
  m_Machine->Reset(200'000'000);
  EXPECT_TRUE(Feed(std::vector<uint8_t>(8, 0xCD), 300'000'001).empty());
  EXPECT_EQ(m_Machine->State(), SimState::Firmware);
}

TEST(SimFaultText, ParsesWhatTheCommandLineTakes) {
  std::optional<SimFault> fault = ParseSimFault("short-reply@1030");
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->Kind, SimFaultKind::ShortReply);
  EXPECT_EQ(fault->AtCommand, 1030);
  for (SimFaultKind kind : {SimFaultKind::NoAnswer, SimFaultKind::WrongAnswer, SimFaultKind::ShortReply,
                            SimFaultKind::ExtraByte, SimFaultKind::Noise, SimFaultKind::Vanish}) {
    std::optional<SimFault> back = ParseSimFault(std::string(SimFaultName(kind)) + "@7");
    ASSERT_TRUE(back) << SimFaultName(kind);
    EXPECT_EQ(back->Kind, kind);
  }
  for (const char* bad : {"vanish", "vanish@", "vanish@0", "vanish@-3", "vanish@2x", "gone@3", "@3"})
    EXPECT_FALSE(ParseSimFault(bad)) << bad;
}

TEST(FactoryImage, LooksLikeAProgrammedMonitorOnAPic18F26K42) {
  const FirmwareImage image = SimulatedDevice::FactoryImage();
  // Reset vector: GOTO into the monitor.
  EXPECT_EQ(image[1], 0xEF);
  EXPECT_EQ(image[3] & 0xF0, 0xF0);
  int32_t programmed = 0;
  for (int32_t i = MonitorArea.Begin; i < MonitorArea.End; ++i) programmed += image[i] != 0xFF;
  EXPECT_GT(programmed, kMonitorAreaSize / 2);
  for (int32_t i = UserArea.Begin; i < UserArea.End; ++i) ASSERT_EQ(image[i], 0xFF) << i;
  EXPECT_EQ(image.Slot(5)[0] | image.Slot(5)[1] << 8, 0x6C60);
  EXPECT_EQ(image.Slot(4)[1] >> 4, 0xA);  // revision ID word: 0b1010 in the top bits
}

}  // namespace
}  // namespace tolvane::sim
