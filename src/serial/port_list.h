// The serial ports that are present, as the port combo box lists them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// One present port: the system's name for it ("COM3", "/dev/ttyUSB0") and
// the name under which the system shows the device (may be empty).
struct PortRecord {
  std::string Name;
  std::string FriendlyName;
};

// Where the present ports come from: the system (udev, SetupAPI) or a test.
class IPortSource {
 public:
  virtual ~IPortSource() = default;
  // False when the set of devices could not be obtained at all.
  virtual bool ListPorts(std::vector<PortRecord>& ports) = 0;
};

// The system's ports (udev on Linux, SetupAPI on Windows).
IPortSource& SystemPortSource();

// A list control whose items carry a text and a port name.
class IPortListControl {
 public:
  virtual ~IPortListControl() = default;
  virtual void ResetContent() = 0;
  virtual int32_t AddItem(const std::string& text, const std::string& data) = 0;  // its index
  virtual void SetCurrent(int32_t index) = 0;                                     // -1: no current item
  virtual int32_t Current() const = 0;                                            // -1: none
  virtual std::string ItemData(int32_t index) const = 0;
};

inline constexpr const char* kNoPortItem = "Не выбран";

// The port's name without the device directory: "ttyUSB0", "COM3", "pts/4".
std::string ShortPortName(std::string_view name);
// Natural order of names: numbers inside compare by value (COM2 < COM10).
bool NaturalLess(std::string_view a, std::string_view b);

class OSerialPortList {
 public:
  static constexpr int32_t kMaxEntries = 256;
  static constexpr size_t kNamePool = 8192;  // friendly names with their zero bytes

  void Clear();
  // Appends the present ports in natural order of their names and logs how
  // many and how long it took. Nothing is logged when the source fails.
  void Enumerate(IPortSource& source);
  void Enumerate() { Enumerate(SystemPortSource()); }
  // Fills the control with "Не выбран" and one item per port; makes the item
  // of `wanted` current ("" : "Не выбран") and returns its index, -1 when
  // `wanted` is not listed.
  int32_t FillCombo(IPortListControl& combo, const std::string& wanted) const;

  int32_t Count() const { return static_cast<int32_t>(m_Entries.size()); }
  const PortRecord& Entry(int32_t i) const { return m_Entries[static_cast<size_t>(i)]; }
  // The item text of an entry: short name, a blank, the friendly name.
  static std::string ItemText(const PortRecord& port);

 private:
  std::vector<PortRecord> m_Entries;
  size_t m_PoolUsed = 0;
};

}  // namespace tolvane
