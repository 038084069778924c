// Every web address the program opens: one host, the home page, the link
// table of the text panes and the web help pages.
#pragma once

#include <QPoint>
#include <QString>
#include <array>
#include <optional>

namespace tolvane {

// The one host of the project's web pages.
inline constexpr const char* kWebHost = "tolvane.quendal.org";

// "http://<host>/Velm/": the home page as the panes show it.
QString HomePageUrl();
// "http://<host>/Velm": the same without the closing slash, as the banner prints it.
QString BannerHomePageUrl();

struct LinkTarget {
  const char* Text;  // the exact text of the linked range
  const char* Path;  // the path it opens on kWebHost
};

inline constexpr std::array<LinkTarget, 4> kLinkTable{{
    {"Обновления программы", "/Velm/Prog2/UpdateProg"},
    {"принципиальные схемы кардиографа и прошивки", "/Velm/Prog2/Shematic"},
    {"Новые прошивки", "/Velm/Prog2/Proshivki"},
    {"протокол программирования", "/Velm/Prog2/ProgProto"},
}};

// The URL of a link text from the table; any other text comes back unchanged.
QString ResolveLinkText(const QString& text);

// What a help request knows about where help was asked for.
struct HelpRequest {
  int ContextType = 1;  // 1: a window or control, 2: a menu item
  int ControlId = 0;    // id of the control that has the focus
  int ContextId = 0;    // help context id (none is assigned, so 0)
  QPoint ClientPos;     // mouse position in the owner's client coordinates
};

inline constexpr const char* kHelpKeyMain = "DlgProgPic";
inline constexpr const char* kHelpKeyAbout = "DlgAbout";

// "http://<host>/Velm/Prog2/Help/<key>/" followed by "HI&type,id,context;x,y"
// when request data is given, else by "B".
QString HelpUrl(const QString& key, const std::optional<HelpRequest>& request);

}  // namespace tolvane
