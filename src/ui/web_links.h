// Every web address the program opens: one host, the home page, the link
// table of the text panes and the web help pages.
#pragma once

#include <QPoint>
#include <QString>
#include <array>
#include <optional>

#include "session/site_links.h"

namespace tolvane {

// "http://<host>/Velm/": the home page as the panes show it.
QString HomePageUrl();
// "http://<host>/Velm": the same without the closing slash, as the banner prints it.
QString BannerHomePageUrl();

// The URL of a link text from the table; any other text comes back unchanged.
QString ResolveLinkText(const QString& text);

// What a help request knows about where help was asked for.
struct HelpRequest {
  int ContextType = 1;  // 1: a window or control, 2: a menu item
  int ControlId = 0;    // id of the control that has the focus
  int ContextId = 0;    // help context id (none is assigned, so 0)
  QPoint ClientPos;     // mouse position in the owner's client coordinates
};

// "http://<host>/Velm/Prog2/Help/<key>/" followed by "HI&type,id,context;x,y"
// when request data is given, else by "B".
QString HelpUrl(const QString& key, const std::optional<HelpRequest>& request);

}  // namespace tolvane
