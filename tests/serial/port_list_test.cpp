#include "serial/port_list.h"
#include "log_sinks.h"

#include "log/console_log.h"
#include "serial/device_change.h"
#include "serial/perf_timer.h"
#include "serial/udev_record.h"
#include "fakes.h"

#include <gtest/gtest.h>

#include <regex>

namespace tolvane {
namespace {

using test::FakeListControl;
using test::FakePortSource;

std::vector<std::string> Names(const OSerialPortList& list) {
  std::vector<std::string> names;
  for (int32_t i = 0; i < list.Count(); ++i) names.push_back(list.Entry(i).Name);
  return names;
}

TEST(PortListTest, PortsComeInNaturalOrderAndTiesKeepTheirOrder) {
  FakePortSource source;
  source.Ports = {{"COM10", "a"}, {"COM2", "b"}, {"COM1", "c"}, {"COM2", "d"}};
  OSerialPortList list;
  list.Enumerate(source);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"COM1", "COM2", "COM2", "COM10"}));
  EXPECT_EQ(list.Entry(1).FriendlyName, "b");
  EXPECT_EQ(list.Entry(2).FriendlyName, "d");

  source.Ports = {
      {"/dev/ttyUSB10", ""}, {"/dev/ttyUSB2", ""}, {"/dev/ttyACM0", ""}, {"/dev/ttyS0", ""}, {"/dev/ttyUSB02", ""}};
  list.Clear();
  list.Enumerate(source);
  EXPECT_EQ(Names(list),
            (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyUSB2", "/dev/ttyUSB02", "/dev/ttyUSB10"}));
  EXPECT_TRUE(NaturalLess("COM9", "COM10"));
  EXPECT_FALSE(NaturalLess("COM10", "COM9"));
  EXPECT_FALSE(NaturalLess("COM3", "COM3"));
  EXPECT_TRUE(NaturalLess("COM", "COM1"));
}

TEST(PortListTest, EnumerationLogsCountAndTimeOnlyWhenThePortsCouldBeListed) {
  auto sink = std::make_shared<test::CaptureSink>();
  Log().AddSink(sink);
  FakePortSource source;
  source.Ports = {{"COM1", "x"}, {"COM2", "y"}};
  OSerialPortList list;
  list.Enumerate(source);
  EXPECT_TRUE(
      std::regex_match(sink->Text(), std::regex("Вижу 2 COM-портов, время опроса списка [0-9]+\\.[0-9]{6} мс \n")))
      << sink->Text();

  sink->Clear();
  source.Available = false;
  list.Enumerate(source);  // appends nothing, logs nothing
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(sink->Text(), "");
  Log().RemoveSink(sink);
}

TEST(PortListTest, CapacityIsTwoHundredFiftySixPortsAndTheNamePool) {
  FakePortSource source;
  for (int i = 1; i <= 300; ++i) source.Ports.push_back({"COM" + std::to_string(i), ""});
  OSerialPortList list;
  list.Enumerate(source);
  EXPECT_EQ(list.Count(), 256);
  EXPECT_EQ(list.Entry(255).Name, "COM256");

  // 100-byte names take 101 pool bytes each: 81 fit in 8192; a short one after
  // them still finds room.
  source.Ports.clear();
  for (int i = 1; i <= 90; ++i) source.Ports.push_back({"COM" + std::to_string(i), std::string(100, 'n')});
  source.Ports.push_back({"COM99", "short"});
  list.Clear();
  list.Enumerate(source);
  EXPECT_EQ(list.Count(), 82);
  EXPECT_EQ(list.Entry(81).Name, "COM99");
}

TEST(PortListTest, FillComboListsNoPortFirstAndSelectsTheWantedPort) {
  FakePortSource source;
  source.Ports = {{"/dev/ttyUSB0", "FT232R USB UART"}, {"COM5", ""}, {"COM3", "first"}, {"COM3", "second"}};
  OSerialPortList list;
  list.Enumerate(source);
  FakeListControl combo;
  EXPECT_EQ(list.FillCombo(combo, ""), 0);
  EXPECT_EQ(combo.CurrentIndex, 0);
  EXPECT_EQ(combo.Texts(),
            (std::vector<std::string>{"Не выбран", "ttyUSB0 FT232R USB UART", "COM3 first", "COM3 second", "COM5 "}));
  EXPECT_EQ(combo.ItemData(0), "");
  EXPECT_EQ(combo.ItemData(1), "/dev/ttyUSB0");

  EXPECT_EQ(list.FillCombo(combo, "/dev/ttyUSB0"), 1);
  EXPECT_EQ(combo.Items.size(), 5u);            // filled afresh, not appended
  EXPECT_EQ(list.FillCombo(combo, "COM3"), 3);  // the later of two equal names
  EXPECT_EQ(combo.CurrentIndex, 3);
  combo.CurrentIndex = 3;
  EXPECT_EQ(list.FillCombo(combo, "COM7"), -1);
  EXPECT_EQ(combo.CurrentIndex, -1);
}

TEST(UdevRecordTest, OnlyHardwarePortsAreListedWithTheNameUsersKnow) {
  PortRecord port;
  UdevTtyRecord usb;
  usb.DevNode = "/dev/ttyUSB0";
  usb.HasParent = true;
  usb.Driver = "ftdi_sio";
  usb.ModelEnc = "FT232R\\x20USB\\x20UART\\x20\\x20";
  usb.Model = "FT232R_USB_UART";
  usb.ModelFromDatabase = "FT232 Serial (UART) IC";
  usb.VendorFromDatabase = "Future Technology Devices International, Ltd";
  ASSERT_TRUE(ToPortRecord(usb, port));
  EXPECT_EQ(port.Name, "/dev/ttyUSB0");
  EXPECT_EQ(port.FriendlyName, "FT232R USB UART");

  usb.ModelEnc.clear();
  ASSERT_TRUE(ToPortRecord(usb, port));
  EXPECT_EQ(port.FriendlyName, "FT232R USB UART");
  usb.Model.clear();
  ASSERT_TRUE(ToPortRecord(usb, port));
  EXPECT_EQ(port.FriendlyName, "Future Technology Devices International, Ltd FT232 Serial (UART) IC");
  usb.ModelFromDatabase.clear();
  usb.VendorFromDatabase.clear();
  ASSERT_TRUE(ToPortRecord(usb, port));
  EXPECT_EQ(port.FriendlyName, "ftdi_sio");
  usb.Driver.clear();
  ASSERT_TRUE(ToPortRecord(usb, port));
  EXPECT_EQ(port.FriendlyName, "");

  UdevTtyRecord uart;
  uart.DevNode = "/dev/ttyS0";
  uart.HasParent = true;
  uart.HasSerialType = true;
  uart.SerialType = "4";
  uart.Driver = "serial";
  ASSERT_TRUE(ToPortRecord(uart, port));
  EXPECT_EQ(port.FriendlyName, "16550A UART");
  uart.SerialType = "99";  // a type without a name of its own: the driver
  ASSERT_TRUE(ToPortRecord(uart, port));
  EXPECT_EQ(port.FriendlyName, "serial");
  uart.SerialType = "0";  // a slot with no UART behind it
  EXPECT_FALSE(ToPortRecord(uart, port));

  UdevTtyRecord console;
  console.DevNode = "/dev/tty1";  // virtual: no parent device
  EXPECT_FALSE(ToPortRecord(console, port));
  UdevTtyRecord noNode = usb;
  noNode.DevNode.clear();
  EXPECT_FALSE(ToPortRecord(noNode, port));

  EXPECT_EQ(DecodeUdevText("a\\x2Fb\\x4"), "a/b\\x4");
  EXPECT_EQ(DecodeUdevText("\\xZZ"), "\\xZZ");
}

TEST(SystemPortsTest, TheSystemListsDeviceNodesAndTheMonitorNeverBlocks) {
  std::vector<PortRecord> ports;
  ASSERT_TRUE(SystemPortSource().ListPorts(ports));
  for (const PortRecord& port : ports) {
    EXPECT_EQ(port.Name.rfind("/dev/", 0), 0u) << port.Name;
    EXPECT_EQ(port.Name.find("/dev/tty0"), std::string::npos);  // no virtual consoles
  }
  OPortMonitor monitor;
  DeviceChange change;
  OPerfTimer timer;
  while (monitor.Receive(change)) {
  }
  EXPECT_LT(timer.Elapsed(), 0.5);
}

}  // namespace
}  // namespace tolvane
