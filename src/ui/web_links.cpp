#include "ui/web_links.h"

namespace tolvane {

namespace {
QString SiteUrl(const char* path) {
  return QStringLiteral("http://") + QString::fromUtf8(kWebHost) + QString::fromUtf8(path);
}
}  // namespace

QString HomePageUrl() { return SiteUrl(kHomePagePath); }
QString BannerHomePageUrl() { return SiteUrl("/Velm"); }

QString ResolveLinkText(const QString& text) {
  for (const LinkTarget& row : kLinkTable) {
    if (text == QString::fromUtf8(row.Text)) return SiteUrl(row.Path);
  }
  return text;
}

QString HelpUrl(const QString& key, const std::optional<HelpRequest>& request) {
  QString url = SiteUrl(kHelpPath) + key + QStringLiteral("/");
  if (request) {
    url += QStringLiteral("HI&%1,%2,%3;%4,%5")
               .arg(request->ContextType)
               .arg(request->ControlId)
               .arg(request->ContextId)
               .arg(request->ClientPos.x())
               .arg(request->ClientPos.y());
  } else {
    url += QStringLiteral("B");
  }
  return url;
}

}  // namespace tolvane
