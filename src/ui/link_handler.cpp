#include "ui/link_handler.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QWidget>

#include "log/console_log.h"
#include "ui/rich_text.h"
#include "ui/desktop.h"

namespace tolvane {

void OnRichEditLink(IDesktop& desktop, QWidget* owner, RichPane& pane, const std::optional<LinkEvent>& event) {
  if (!event || event->Mouse != LinkMouse::LeftPress) return;
  RichSelect(pane, event->Begin, event->End);
  QString text = RichGetSelText(pane);
  RichSelect(pane, event->Begin, event->Begin);
  text = ResolveLinkText(text);
  if (text.startsWith(QLatin1Char('h'))) OpenLinkInBrowser(desktop, owner, text);
}

bool OpenLinkInBrowser(IDesktop& desktop, QWidget* owner, const QString& url) {
  Log().Text("click_link = ").Text(url.toStdString()).Text("\n");
  if (desktop.OpenUrl(url)) return true;
  MessageRequest offer;
  offer.Text = QStringLiteral("Ошибка, не удалось открыть ссылку в браузере!\n") + url +
               QStringLiteral("\nСкопировать эту ссылку в буфер обмена? \n");
  offer.Caption = QStringLiteral("ОШИБКА ОТКРЫТИЯ ССЫЛКИ В БРАУЗЕРЕ");
  offer.Icon = MessageIcon::Error;
  offer.Buttons = MessageButtons::YesNoCancel;
  offer.Default = MessageAnswer::Yes;
  if (desktop.ShowMessage(owner, offer) == MessageAnswer::Yes && CopyTextToClipboard(owner, url) != 0) {
    desktop.ShowMessage(owner, QStringLiteral("Не удалось скопировать ссылку в буфер обмена!"),
                        QStringLiteral("ОШИБКА"), MessageIcon::Error);
  }
  return false;
}

int CopyTextToClipboard(QWidget*, const QString& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return 1;
  clipboard->setText(text);
  return clipboard->text() == text ? 0 : 5;
}

bool ShowWebHelp(IDesktop& desktop, QWidget* owner, const QString& key, const std::optional<HelpRequest>& request) {
  return OpenLinkInBrowser(desktop, owner, HelpUrl(key, request));
}

HelpRequest HelpRequestFor(QWidget* owner) {
  HelpRequest request;
  QWidget* focus = QApplication::focusWidget();
  // A focused child without an id of its own (a combo box's line, say) asks
  // for the control it belongs to.
  for (QWidget* w = focus; w != nullptr && w != owner; w = w->parentWidget()) {
    QVariant id = w->property(kControlIdProperty);
    if (id.isValid()) {
      request.ControlId = id.toInt();
      break;
    }
  }
  request.ClientPos = owner != nullptr ? owner->mapFromGlobal(QCursor::pos()) : QCursor::pos();
  return request;
}

}  // namespace tolvane
