#include "ui/port_list_binding.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QStyle>
#include <QSocketNotifier>

namespace tolvane {

void ComboPortList::ResetContent() {
  m_Combo.clear();
  m_Combo.view()->setMinimumWidth(0);
}

int32_t ComboPortList::AddItem(const std::string& text, const std::string& data) {
  const QString caption = QString::fromStdString(text);
  m_Combo.addItem(caption, QString::fromStdString(data));
  // The drop-down list is as wide as its longest entry, however narrow the box.
  const int margins = 4 * m_Combo.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &m_Combo) +
                      m_Combo.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &m_Combo) + 16;
  const int wanted = m_Combo.fontMetrics().horizontalAdvance(caption) + margins;
  if (wanted > m_Combo.view()->minimumWidth()) m_Combo.view()->setMinimumWidth(wanted);
  return m_Combo.count() - 1;
}

void ComboPortList::SetCurrent(int32_t index) { m_Combo.setCurrentIndex(index); }

int32_t ComboPortList::Current() const { return m_Combo.currentIndex(); }

std::string ComboPortList::ItemData(int32_t index) const { return m_Combo.itemData(index).toString().toStdString(); }

bool ExtendedPortSource::ListPorts(std::vector<PortRecord>& ports) {
  bool listed = m_System.ListPorts(ports);
  for (const PortRecord& extra : m_Extra) {
    bool present = false;
    for (const PortRecord& port : ports) present = present || port.Name == extra.Name;
    if (!present) ports.push_back(extra);
  }
  return listed || !m_Extra.empty();
}

PortListBinding::PortListBinding(QComboBox& combo, OSerialPort& port, ISettingsStore& settings, QWidget* owner,
                                 IDesktop& desktop, std::vector<PortRecord> extraPorts, IPortSource* source)
    : QObject(nullptr),
      m_Owner(owner),
      m_Desktop(desktop),
      m_Control(combo),
      m_Source(source != nullptr ? *source : SystemPortSource(), std::move(extraPorts)) {
  m_Selector.m_pOwner = this;
  m_Selector.m_pCombo = &m_Control;
  m_Selector.m_pPort = &port;
  m_Selector.m_pSettings = &settings;
  m_Selector.m_pSource = &m_Source;
  m_Selector.m_Index = 0;
  m_Monitor = std::make_unique<OPortMonitor>();
  if (m_Monitor->Fd() >= 0) {
    m_Notifier = new QSocketNotifier(m_Monitor->Fd(), QSocketNotifier::Read, this);
    connect(m_Notifier, &QSocketNotifier::activated, this, &PortListBinding::ReadMonitor);
  }
}

PortListBinding::~PortListBinding() = default;

void PortListBinding::ShowError(const std::string& text, const std::string& caption) {
  m_Desktop.ShowMessage(m_Owner, QString::fromStdString(text), QString::fromStdString(caption), MessageIcon::Error);
}

void PortListBinding::ReadMonitor() {
  DeviceChange change;
  bool any = false;
  while (m_Monitor->Receive(change)) any = any || change.Kind == DeviceKind::Port;
  if (any) emit DeviceListChanged();
}

void PortListBinding::Init() { m_Selector.Init(); }

void PortListBinding::OnSelChange() {
  const int32_t current = m_Control.Current();
  if (current < 0 || m_Unremembered.empty() || m_Control.ItemData(current) != m_Unremembered) {
    m_Selector.OnSelChange();
    return;
  }
  // Chosen and opened as any other; the remembered choice stays as it was.
  m_Selector.m_PortSelect = m_Unremembered;
  m_Selector.OpenSelected(true);
}

bool PortListBinding::SelectedListed() const {
  const int32_t current = m_Control.Current();
  return Selected() && current >= 0 && m_Control.ItemData(current) == m_Selector.m_PortSelect;
}

bool PortListBinding::OnDeviceChange() {
  // Several notifications may have been gathered (while a procedure ran);
  // one fresh look at the list serves them all.
  return m_Selector.OnDeviceChange(DeviceChange{DeviceEvent::Arrival, DeviceKind::Port});
}

void PortListBinding::Deselect() { m_Selector.Deselect(); }

bool PortListBinding::Selected() const { return !m_Selector.m_PortSelect.empty(); }

}  // namespace tolvane
