// Keeps the one serial port connected to the port the user picked in the
// port list: lists the present ports, remembers the choice between runs,
// opens the chosen port at 57600 baud, and follows ports as they come and go
// (a port that goes away is closed but stays chosen, and is opened again
// when it returns).
//
// States: nothing chosen (m_PortSelect empty, port closed, "Не выбран"
// current); chosen and open; chosen but absent (port closed, no current item).
#pragma once

#include "serial/device_change.h"
#include "serial/port_list.h"
#include "serial/serial_port.h"
#include "serial/settings_store.h"

#include <cstdint>
#include <string>

namespace tolvane {

// Shows a failure to the user (the window's message box with the error icon).
class IErrorBox {
 public:
  virtual ~IErrorBox() = default;
  virtual void ShowError(const std::string& text, const std::string& caption) = 0;
};

inline constexpr const char* kSelectorSection = "OSerialPortSelector";
inline constexpr const char* kOpenErrorCaption = "ОШИБКА ОТКРЫТИЯ ";  // then the port's short name

class OSerialPortSelector {
 public:
  // Set by the owner before Init; the selector owns none of them.
  IErrorBox* m_pOwner = nullptr;
  IPortListControl* m_pCombo = nullptr;
  OSerialPort* m_pPort = nullptr;
  ISettingsStore* m_pSettings = nullptr;
  IPortSource* m_pSource = nullptr;  // null: the system's ports
  int32_t m_Index = 0;               // forms the entry name m_PortSelect_<index>
  std::string m_PortSelect;          // the chosen port's name, "" : none
  int32_t m_BaudRate = kDefaultBaud;

  // Loads the remembered port, lists the ports and opens the remembered one
  // quietly when it is present.
  void Init();
  // The user picked an item: remember it at once and open it, showing a box
  // if that fails.
  void OnSelChange();
  // True when the port may have been closed or opened.
  bool OnDeviceChange(const DeviceChange& change);
  // Closes the port and chooses nothing (after a failed read, say).
  void Deselect();
  void OpenSelected(bool show);
  void ClosePort();
  void LoadSelection();
  void SaveSelection();

  std::string EntryName() const { return "m_PortSelect_" + std::to_string(m_Index); }

 private:
  int32_t Refresh();  // a fresh list into the control; the index of the chosen port or -1
};

}  // namespace tolvane
