#include "urlcatcher.h"

UrlCatcher::UrlCatcher(const QStringList &handled)
    : schemes(handled)
{
    for (const QString &scheme : schemes)
        QDesktopServices::setUrlHandler(scheme, this, "openUrl");
}

UrlCatcher::~UrlCatcher()
{
    for (const QString &scheme : schemes)
        QDesktopServices::unsetUrlHandler(scheme);
}

void UrlCatcher::openUrl(const QUrl &url)
{
    urls.append(url);
}
