// What a click on a link and a help request do: map the link text to a web
// page, open it in the browser, and offer the address for the clipboard when
// no browser could be started.
#pragma once

#include <QString>
#include <optional>

#include "ui/desktop.h"
#include "ui/rich_pane.h"
#include "ui/web_links.h"

class QWidget;

namespace tolvane {

// Acts on a left-button press over a link only; every other mouse event is
// ignored. The caret is left at the start of the link.
void OnRichEditLink(IDesktop& desktop, QWidget* owner, RichPane& pane, const std::optional<LinkEvent>& event);

// Logs "click_link = <url>" and opens the address; on failure asks whether to
// copy it to the clipboard. True when the browser started.
bool OpenLinkInBrowser(IDesktop& desktop, QWidget* owner, const QString& url);

// 0 on success; 1: no clipboard, 5: the clipboard did not take the text.
int CopyTextToClipboard(QWidget* owner, const QString& text);

// Opens the help page of a window's help key.
bool ShowWebHelp(IDesktop& desktop, QWidget* owner, const QString& key, const std::optional<HelpRequest>& request);

// The help request of a key press: the focused control's id and the mouse
// position in the owner's client coordinates.
HelpRequest HelpRequestFor(QWidget* owner);

// Each control carries its template id as this property.
inline constexpr const char* kControlIdProperty = "controlId";

}  // namespace tolvane
