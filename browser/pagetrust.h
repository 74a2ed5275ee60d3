#ifndef PAGETRUST_H
#define PAGETRUST_H

#include <QString>
#include <QStringList>
#include <QUrl>

// Which pages are the chart service's own, the only ones that may hold
// Player: http and https pages of the start page's host or of its registrable
// domain, as the public suffix list draws it ("m.example.com" is one site with
// "charts.example.com"; two names under "co.uk" are not). A start page on an
// IP address or on localhost trusts only its own host and port. Extra hosts
// serve deployments that span domains.
class PageTrust
{
public:
    PageTrust(const QUrl &startPage, const QStringList &extraHosts);

    // The start page, and the host names MELODRIFT_TRUSTED_HOSTS lists
    // (comma-separated).
    static PageTrust fromEnvironment();

    bool trusts(const QUrl &url) const;

private:
    QString startHost;
    int startPort = -1;
    bool exactOrigin = false;
    QString startDomain;
    QStringList extraHosts;
};

#endif // PAGETRUST_H
