#include "serial/port_selector.h"
#include "log_sinks.h"

#include "log/console_log.h"
#include "fakes.h"
#include "pty.h"

#include <gtest/gtest.h>

#include <memory>

namespace tolvane {
namespace {

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

using namespace tolvane::test;

class PortSelectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_A.Ok());
    ASSERT_TRUE(m_B.Ok());
    Log().AddSink(m_Log);
    m_Selector.m_pOwner = &m_Box;
    m_Selector.m_pCombo = &m_Combo;
    m_Selector.m_pPort = &m_Port;
    m_Selector.m_pSettings = &m_Settings;
    m_Selector.m_pSource = &m_Source;
  }
  void TearDown() override { Log().RemoveSink(m_Log); }

  void Plug(const PtyPair& pty, const std::string& friendly = "USB Serial") {
    m_Source.Ports.push_back({pty.SlavePath(), friendly});
  }
  void Unplug(const PtyPair& pty) {
    std::erase_if(m_Source.Ports, [&](const PortRecord& p) { return p.Name == pty.SlavePath(); });
  }
  void Remember(const std::string& name) { m_Settings.Strings["OSerialPortSelector/m_PortSelect_0"] = name; }
  std::string Remembered() { return m_Settings.Strings["OSerialPortSelector/m_PortSelect_0"]; }
  bool Notify(DeviceEvent event, DeviceKind kind = DeviceKind::Port) {
    return m_Selector.OnDeviceChange({event, kind});
  }
  std::string CurrentData() const {
    return m_Combo.CurrentIndex < 0 ? "<none>" : m_Combo.ItemData(m_Combo.CurrentIndex);
  }

  PtyPair m_A, m_B;
  OSerialPort m_Port;
  FakePortSource m_Source;
  FakeListControl m_Combo;
  FakeSettings m_Settings;
  FakeErrorBox m_Box;
  OSerialPortSelector m_Selector;
  std::shared_ptr<test::CaptureSink> m_Log = std::make_shared<test::CaptureSink>();
};

TEST_F(PortSelectorTest, NothingPresentNothingRemembered) {
  m_Selector.Init();
  EXPECT_EQ(m_Combo.Texts(), std::vector<std::string>{"Не выбран"});
  EXPECT_EQ(m_Combo.CurrentIndex, 0);
  EXPECT_FALSE(m_Port.IsOpen());
  EXPECT_NE(m_Log->Text().find("Вижу 0 COM-портов"), std::string::npos);
  // An arrival of something while nothing is chosen opens nothing.
  Plug(m_A);
  EXPECT_FALSE(Notify(DeviceEvent::Arrival));
  EXPECT_FALSE(m_Port.IsOpen());
  EXPECT_EQ(m_Combo.Items.size(), 2u);
  EXPECT_TRUE(m_Box.Shown.empty());
}

TEST_F(PortSelectorTest, ARememberedPortThatIsPresentOpensQuietly) {
  Plug(m_B);
  Plug(m_A);
  Remember(m_A.SlavePath());
  m_Selector.Init();
  EXPECT_TRUE(m_Port.IsOpen());
  EXPECT_EQ(CurrentData(), m_A.SlavePath());
  EXPECT_EQ(m_Selector.m_PortSelect, m_A.SlavePath());
}

TEST_F(PortSelectorTest, ARememberedPortThatIsAbsentOpensWhenItArrives) {
  Remember(m_A.SlavePath());
  m_Selector.Init();
  EXPECT_EQ(m_Combo.Texts(), std::vector<std::string>{"Не выбран"});
  EXPECT_EQ(m_Combo.CurrentIndex, -1);
  EXPECT_FALSE(m_Port.IsOpen());
  EXPECT_EQ(m_Selector.m_PortSelect, m_A.SlavePath());

  Plug(m_B);                                  // another port arriving changes nothing but the list
  EXPECT_TRUE(Notify(DeviceEvent::Arrival));  // still absent: "may have closed"
  EXPECT_FALSE(m_Port.IsOpen());
  Plug(m_A);
  EXPECT_TRUE(Notify(DeviceEvent::Arrival));
  EXPECT_TRUE(m_Port.IsOpen());
  EXPECT_EQ(CurrentData(), m_A.SlavePath());
  EXPECT_TRUE(m_Box.Shown.empty());
}

TEST_F(PortSelectorTest, ChoosingAPortRemembersAndOpensItAndNoPortClosesIt) {
  Plug(m_A, "FT232R USB UART");
  m_Selector.Init();
  m_Combo.Pick(m_A.SlavePath());
  m_Selector.OnSelChange();
  EXPECT_TRUE(m_Port.IsOpen());
  EXPECT_EQ(Remembered(), m_A.SlavePath());
  EXPECT_EQ(m_Combo.Texts()[1], m_A.SlavePath().substr(5) + " FT232R USB UART");
  // The port really is the chosen one: bytes written reach its peer.
  const uint8_t attention = 0xCD;
  m_Port.Write(&attention, 1);
  EXPECT_EQ(m_A.Receive(1), std::vector<uint8_t>{0xCD});

  m_Combo.Pick("");
  m_Selector.OnSelChange();
  EXPECT_FALSE(m_Port.IsOpen());
  EXPECT_EQ(m_Selector.m_PortSelect, "");
  EXPECT_EQ(Remembered(), "");
  ASSERT_TRUE(m_Settings.Strings.count("OSerialPortSelector/m_PortSelect_0"));

  m_Combo.CurrentIndex = -1;  // no current item: nothing happens
  m_Settings.Strings.clear();
  m_Selector.OnSelChange();
  EXPECT_TRUE(m_Settings.Strings.empty());
}

TEST_F(PortSelectorTest, ABusyPortShowsTheErrorBoxAndIsTriedAgainAtTheNextStart) {
  OSerialPort otherProgram;
  ASSERT_TRUE(otherProgram.OpenDevice(m_A.SlavePath(), 57600));
  Plug(m_A);
  m_Selector.Init();
  m_Combo.Pick(m_A.SlavePath());
  m_Selector.OnSelChange();
  EXPECT_FALSE(m_Port.IsOpen());
  ASSERT_EQ(m_Box.Shown.size(), 1u);
  EXPECT_EQ(m_Box.Shown[0].second, "ОШИБКА ОТКРЫТИЯ " + m_A.SlavePath().substr(5));
  EXPECT_EQ(m_Box.Shown[0].first, m_Port.ErrorText());
  EXPECT_EQ(m_Box.Shown[0].first.rfind("Не могу открыть выбранный порт " + m_A.SlavePath() + "\r\n", 0), 0u);
  EXPECT_EQ(m_Combo.CurrentIndex, 0);
  EXPECT_EQ(m_Selector.m_PortSelect, "");
  EXPECT_EQ(Remembered(), m_A.SlavePath());

  // Next start, port still busy: silently nothing chosen.
  OSerialPort port2;
  FakeListControl combo2;
  OSerialPortSelector next = m_Selector;
  next.m_pPort = &port2;
  next.m_pCombo = &combo2;
  next.Init();
  EXPECT_FALSE(port2.IsOpen());
  EXPECT_EQ(combo2.CurrentIndex, 0);
  EXPECT_EQ(m_Box.Shown.size(), 1u);
  // Once the other program lets go, a start opens it.
  otherProgram.Close();
  next.Init();
  EXPECT_TRUE(port2.IsOpen());
}

TEST_F(PortSelectorTest, UnplugClosesButKeepsTheChoiceAndReplugReopens) {
  Plug(m_A);
  Plug(m_B);
  Remember(m_A.SlavePath());
  m_Selector.Init();
  ASSERT_TRUE(m_Port.IsOpen());

  Unplug(m_A);
  EXPECT_TRUE(Notify(DeviceEvent::RemoveComplete));
  EXPECT_FALSE(m_Port.IsOpen());
  EXPECT_EQ(m_Combo.CurrentIndex, -1);
  EXPECT_EQ(m_Selector.m_PortSelect, m_A.SlavePath());
  EXPECT_EQ(Remembered(), m_A.SlavePath());

  Plug(m_A);
  EXPECT_TRUE(Notify(DeviceEvent::Arrival));
  EXPECT_TRUE(m_Port.IsOpen());
  EXPECT_EQ(CurrentData(), m_A.SlavePath());

  // Removal of another port, or a pending one, leaves the open port alone
  // and re-selects its item in the rebuilt list.
  const auto opens = [this] { return Count(m_Log->Text(), "Speed = "); };
  const size_t opened = opens();
  Unplug(m_B);
  EXPECT_FALSE(Notify(DeviceEvent::RemovePending));
  EXPECT_TRUE(m_Port.IsOpen());
  EXPECT_EQ(opens(), opened);  // not opened again
  EXPECT_EQ(CurrentData(), m_A.SlavePath());
  EXPECT_EQ(m_Combo.Items.size(), 2u);
}

TEST_F(PortSelectorTest, NotificationsThatAreNotAboutPortsChangeNothing) {
  Plug(m_A);
  Remember(m_A.SlavePath());
  m_Selector.Init();
  int resets = m_Combo.Resets;
  int listings = m_Source.Calls;
  Unplug(m_A);
  EXPECT_FALSE(Notify(DeviceEvent::RemoveComplete, DeviceKind::Other));
  EXPECT_FALSE(Notify(DeviceEvent::Other, DeviceKind::Port));
  EXPECT_TRUE(m_Port.IsOpen());
  EXPECT_EQ(m_Combo.Resets, resets);
  EXPECT_EQ(m_Source.Calls, listings);
}

TEST_F(PortSelectorTest, AReappearingPortThatCannotOpenLeavesNothingChosenSilently) {
  Remember(m_A.SlavePath());
  m_Selector.Init();
  OSerialPort otherProgram;
  ASSERT_TRUE(otherProgram.OpenDevice(m_A.SlavePath(), 57600));
  Plug(m_A);
  EXPECT_TRUE(Notify(DeviceEvent::Arrival));
  EXPECT_FALSE(m_Port.IsOpen());
  EXPECT_EQ(m_Selector.m_PortSelect, "");
  EXPECT_EQ(m_Combo.CurrentIndex, 0);
  EXPECT_TRUE(m_Box.Shown.empty());
  EXPECT_EQ(Remembered(), m_A.SlavePath());
}

TEST_F(PortSelectorTest, DeselectAfterAFailedReadChoosesNothingButKeepsTheSetting) {
  Plug(m_A);
  Remember(m_A.SlavePath());
  m_Selector.Init();
  ASSERT_TRUE(m_Port.IsOpen());
  m_Selector.Deselect();
  EXPECT_FALSE(m_Port.IsOpen());
  EXPECT_EQ(m_Selector.m_PortSelect, "");
  EXPECT_EQ(m_Combo.CurrentIndex, 0);
  EXPECT_EQ(Remembered(), m_A.SlavePath());
}

TEST_F(PortSelectorTest, TwoDevicesWithOneNameSelectTheLaterItem) {
  Plug(m_A, "first");
  Plug(m_A, "second");
  Remember(m_A.SlavePath());
  m_Selector.Init();
  EXPECT_EQ(m_Combo.CurrentIndex, 2);
  EXPECT_TRUE(m_Port.IsOpen());
}

TEST_F(PortSelectorTest, TheSelectorNumberFormsTheEntryName) {
  m_Selector.m_Index = 2;
  m_Settings.Strings["OSerialPortSelector/m_PortSelect_2"] = m_A.SlavePath();
  Plug(m_A);
  m_Selector.Init();
  EXPECT_TRUE(m_Port.IsOpen());
}

}  // namespace
}  // namespace tolvane
