#ifndef PAGETRUST_H
#define PAGETRUST_H

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// Which documents may hold Player: the application's own error page, and the
// chart service's pages, that is http and https pages of the start page's
// host or of its registrable domain, as the public suffix list draws it
// ("m.example.com" is one site with "charts.example.com"; two names under
// "co.uk" are not). A start page on an IP address or on localhost trusts only
// its own host and port. An https chart service trusts no http page. Extra
// hosts serve deployments that span domains.
//
// Trust is judged from the address of the document shown, never from what
// the application last loaded: a page can stop, replace or abandon a load,
// but cannot give a document another site's address.
class PageTrust
{
public:
    PageTrust(const QUrl &startPage, const QStringList &extraHosts);

    // The start page, and the hosts MELODRIFT_TRUSTED_HOSTS lists
    // (comma-separated "host" or "host:port").
    static PageTrust fromEnvironment();

    // The address the error page is shown at. No network page can have it:
    // its scheme is the application's own and names no document the engine
    // could load, and its token is new in every run.
    static QUrl errorPageUrl();

    bool trusts(const QUrl &url) const;

    // The rule as data, for an engine that must judge a document inside the
    // page before the program hears of it: errorPage, httpsOnly, startHost,
    // startPort (-1: none), exactOrigin, domain (the start host's registrable
    // domain, empty for none) and extraHosts ([{name, port}], port -1 for
    // any, 0 for the default port of the page's scheme). Hosts are lower
    // case, international names in their ACE form, without a trailing dot.
    QJsonObject rule() const;

private:
    struct Host
    {
        QString name;
        int port; // -1: any; 0: the default port of the page's scheme
    };

    void addExtraHost(const QString &entry);
    bool isExtraHost(const QString &host, const QUrl &url) const;

    QString startHost;
    int startPort = -1;
    bool startIsHttps = false;
    bool exactOrigin = false;
    QString startDomain;
    QList<Host> extraHosts;
};

#endif // PAGETRUST_H
