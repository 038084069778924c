#include "serial/port_selector.h"

#include "serial/port_naming.h"

namespace tolvane {

int32_t OSerialPortSelector::Refresh() {
  OSerialPortList list;
  list.Clear();
  list.Enumerate(m_pSource != nullptr ? *m_pSource : SystemPortSource());
  return list.FillCombo(*m_pCombo, m_PortSelect);
}

void OSerialPortSelector::Init() {
  LoadSelection();
  if (Refresh() >= 0)
    OpenSelected(false);  // with nothing chosen this only closes the port
  else
    ClosePort();  // remembered but absent: opened when it arrives
}

void OSerialPortSelector::OnSelChange() {
  int32_t current = m_pCombo->Current();
  if (current < 0) return;
  m_PortSelect = m_pCombo->ItemData(current);
  SaveSelection();
  OpenSelected(true);
}

bool OSerialPortSelector::OnDeviceChange(const DeviceChange& change) {
  bool portEvent = change.Event == DeviceEvent::Arrival || change.Event == DeviceEvent::RemovePending ||
                   change.Event == DeviceEvent::RemoveComplete;
  if (!portEvent || change.Kind != DeviceKind::Port) return false;
  if (Refresh() < 0) {
    ClosePort();  // the chosen port is gone; it stays chosen
    return true;
  }
  if (m_pPort->IsOpen() || m_PortSelect.empty()) return false;
  OpenSelected(false);
  return true;
}

void OSerialPortSelector::Deselect() {
  m_pPort->Close();
  m_PortSelect.clear();
  m_pCombo->SetCurrent(0);
}

void OSerialPortSelector::OpenSelected(bool show) {
  m_pPort->Close();
  if (m_PortSelect.empty()) return;
  if (m_pPort->OpenDevice(DevicePathOf(m_PortSelect), m_BaudRate)) return;
  std::string failed = m_PortSelect;
  Deselect();
  // The settings keep the failed port: the next start tries it again.
  if (show && m_pOwner != nullptr) m_pOwner->ShowError(m_pPort->ErrorText(), kOpenErrorCaption + ShortPortName(failed));
}

void OSerialPortSelector::ClosePort() { m_pPort->Close(); }

void OSerialPortSelector::LoadSelection() {
  m_PortSelect = m_pSettings != nullptr ? LoadRememberedPort(*m_pSettings, kSelectorSection, EntryName()) : "";
}

void OSerialPortSelector::SaveSelection() {
  if (m_pSettings != nullptr) SaveRememberedPort(*m_pSettings, kSelectorSection, EntryName(), m_PortSelect);
}

}  // namespace tolvane
