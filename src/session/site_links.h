// The project's web site as every program links to it: one host, the link
// texts of the header and their pages, the keys of the web help. The window
// and the page both take them from here.
#pragma once

#include <array>

namespace tolvane {

// The one host of the project's web pages.
inline constexpr const char* kWebHost = "tolvane.quendal.org";

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

// The header above the window's controls and the page's: its bold title,
// then pieces of text whose links are texts of kLinkTable, then the home
// page's address.
inline constexpr const char* kHeaderTitle = "Смена прошивки устройства на МК Pic18F26k42 через RS-232";
struct HeaderPiece {
  const char* Text;
  bool Link;
};
inline constexpr std::array<HeaderPiece, 5> kHeaderPieces{{
    {"Новые прошивки", true},
    {" и ", false},
    {"протокол программирования", true},
    {" самодельного кардиографа с записью на SD-карту\nна домашней странице ", false},
    {"проекта ", false},
}};

// The home page's path as the panes show it.
inline constexpr const char* kHomePagePath = "/Velm/";
// The web help's pages: kHelpPath + key + "/" and what follows.
inline constexpr const char* kHelpPath = "/Velm/Prog2/Help/";
inline constexpr const char* kHelpKeyMain = "DlgProgPic";
inline constexpr const char* kHelpKeyAbout = "DlgAbout";

}  // namespace tolvane
