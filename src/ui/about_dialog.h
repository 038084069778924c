// The about box: the program's description, version, links to the project's
// pages, authorship and contact, on a fixed-size modal dialog.
#pragma once

#include <QDialog>

namespace tolvane {

class IDesktop;
class RichPane;

class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(IDesktop& desktop, QWidget* parent = nullptr);

  RichPane& Text() { return *m_Text; }

 private:
  void WriteAboutText();

  IDesktop& m_Desktop;
  RichPane* m_Text = nullptr;
};

// The first line of the about text, shown in bold.
inline constexpr const char* kAboutTitle = "Самодельный самодельный кардиограф с записью на карту SD\r\n";

}  // namespace tolvane
