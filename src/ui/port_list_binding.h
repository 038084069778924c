// Binds the port selector to the window's combo box and to the system's
// notifications of ports coming and going. Paths given on the command line
// are offered beside the system's ports.
#pragma once

#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "serial/device_change.h"
#include "serial/port_list.h"
#include "serial/port_selector.h"
#include "serial/serial_port.h"
#include "serial/settings_store.h"
#include "ui/desktop.h"

class QComboBox;
class QSocketNotifier;
class QWidget;

namespace tolvane {

// The combo box as the selector's list control: each item keeps its port name.
class ComboPortList : public IPortListControl {
 public:
  explicit ComboPortList(QComboBox& combo) : m_Combo(combo) {}
  void ResetContent() override;
  int32_t AddItem(const std::string& text, const std::string& data) override;
  void SetCurrent(int32_t index) override;
  int32_t Current() const override;
  std::string ItemData(int32_t index) const override;

 private:
  QComboBox& m_Combo;
};

// The system's ports followed by the extra paths, in the order given.
class ExtendedPortSource : public IPortSource {
 public:
  ExtendedPortSource(IPortSource& system, std::vector<PortRecord> extra)
      : m_System(system), m_Extra(std::move(extra)) {}
  bool ListPorts(std::vector<PortRecord>& ports) override;

 private:
  IPortSource& m_System;
  std::vector<PortRecord> m_Extra;
};

class PortListBinding : public QObject, private IErrorBox {
  Q_OBJECT
 public:
  PortListBinding(QComboBox& combo, OSerialPort& port, ISettingsStore& settings, QWidget* owner, IDesktop& desktop,
                  std::vector<PortRecord> extraPorts, IPortSource* source = nullptr);
  ~PortListBinding() override;

  void Init();
  // The user picked an item: it is opened, and remembered unless it is the
  // line that is never remembered.
  void OnSelChange();
  // A port chosen in the list but never remembered: the built-in simulated
  // device's line, gone when the program ends (and, remembered, it would
  // leave the next start without a port).
  void NeverRemember(std::string name) { m_Unremembered = std::move(name); }
  // The chosen port is in the list.
  bool SelectedListed() const;
  // True when the port may have been opened or closed.
  bool OnDeviceChange();
  void Deselect();
  bool Selected() const;
  const std::string& SelectedName() const { return m_Selector.m_PortSelect; }

 signals:
  // The system reported ports coming or going; the window decides when to act.
  void DeviceListChanged();

 private:
  void ReadMonitor();
  void ShowError(const std::string& text, const std::string& caption) override;

  QWidget* m_Owner;
  IDesktop& m_Desktop;
  ComboPortList m_Control;
  ExtendedPortSource m_Source;
  OSerialPortSelector m_Selector;
  std::unique_ptr<OPortMonitor> m_Monitor;
  QSocketNotifier* m_Notifier = nullptr;
  std::string m_Unremembered;
};

}  // namespace tolvane
