#include "ui/control_factory.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>

#include "ui/rich_pane.h"

namespace tolvane {
namespace {

// Enter with no push button focused presses it: the dialog's default, unseen.
MadeControl HiddenDefault(const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setDefault(true);
  button->hide();
  return {button, false};
}

MadeControl PortList(const ControlTemplate& control, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setMaxVisibleItems(control.Rect.H / kComboClosedHeight);
  return {combo, true};
}

MadeControl Label(const QString& caption, QWidget* parent) { return {new QLabel(caption, parent), false}; }

MadeControl Button(const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setAutoDefault(true);
  return {button, true};
}

MadeControl CaptureSwitch(const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setCheckable(true);
  // A switch: Enter on it goes to the window, as for any non-button.
  button->setAutoDefault(false);
  return {button, true};
}

MadeControl ViewPane(QWidget* parent) {
  auto* pane = new RichPane(parent);
  pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  return {pane, true};
}

// The title and links, on the dialog's own background, without a frame.
MadeControl HeaderPane(QWidget* parent) {
  auto* pane = new RichPane(parent);
  pane->setFrameShape(QFrame::NoFrame);
  pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  pane->setFocusPolicy(Qt::NoFocus);
  QPalette palette = pane->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Button));
  pane->setPalette(palette);
  pane->setContextMenuPolicy(Qt::DefaultContextMenu);
  return {pane, false};
}

MadeControl Status(QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setReadOnly(true);
  return {field, true};
}

// Each page is set explicitly; the buttons are not a group that steps with
// the arrow keys.
MadeControl Radio(const QString& caption, QWidget* parent) {
  auto* radio = new QRadioButton(caption, parent);
  radio->setAutoExclusive(false);
  radio->setFocusPolicy(Qt::ClickFocus);
  return {radio, false};
}

MadeControl Make(const ControlTemplate& control, QWidget* parent) {
  const QString caption = QString::fromUtf8(control.Caption);
  switch (control.Kind) {
    case ControlKind::HiddenDefault: return HiddenDefault(caption, parent);
    case ControlKind::PortList: return PortList(control, parent);
    case ControlKind::Label: return Label(caption, parent);
    case ControlKind::Button: return Button(caption, parent);
    case ControlKind::CaptureSwitch: return CaptureSwitch(caption, parent);
    case ControlKind::ViewPane: return ViewPane(parent);
    case ControlKind::HeaderPane: return HeaderPane(parent);
    case ControlKind::Status: return Status(parent);
    case ControlKind::Radio: return Radio(caption, parent);
  }
  return Label(caption, parent);
}

}  // namespace

MadeControl MakeControl(const ControlTemplate& control, const DialogUnits& units, QWidget* parent) {
  MadeControl made = Make(control, parent);
  QRect rect = units.Rect(control.Rect);
  // The template's height of a combo box includes its drop-down list.
  if (control.Kind == ControlKind::PortList) rect.setHeight(units.Rect({0, 0, 0, kComboClosedHeight}).height());
  made.Widget->setGeometry(rect);
  return made;
}

}  // namespace tolvane
