#include "pagetrust.h"

#include "paths.h"
#include "urlrules.h"

#include <QDebug>
#include <QHostAddress>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSet>
#include <QUuid>

#include <libpsl.h>

namespace {

bool isAddress(const QString &host)
{
    return QHostAddress().setAddress(host);
}

// Lower case, international names in their ACE form, without the trailing
// dot that names the same host.
QString normalHost(const QString &host)
{
    if (isAddress(host))
        return host.toLower();
    QString ace = QString::fromLatin1(QUrl::toAce(host)).toLower();
    if (ace.endsWith(QLatin1Char('.')))
        ace.chop(1);
    return ace;
}

// Hosts that stand for one machine rather than a site: only their own port is theirs.
bool isExactOriginHost(const QString &host)
{
    return host == QLatin1String("localhost") || isAddress(host);
}

int defaultPort(const QUrl &url)
{
    return url.scheme() == QLatin1String("https") ? 443 : 80;
}

int effectivePort(const QUrl &url)
{
    return url.port(defaultPort(url));
}

// Debian's packaged list when it is newer than the one built into libpsl.
class SuffixList
{
public:
    SuffixList()
        : loaded(psl_latest(nullptr))
    {
        if (!list())
            qWarning() << "No public suffix list: only the start page's own host holds Player";
    }
    ~SuffixList()
    {
        if (loaded)
            psl_free(loaded);
    }
    SuffixList(const SuffixList &) = delete;
    SuffixList &operator=(const SuffixList &) = delete;

    const psl_ctx_t *list() const { return loaded ? loaded : psl_builtin(); }

private:
    psl_ctx_t *loaded;
};

QString registrableDomain(const QString &host)
{
    static const SuffixList suffixes;
    if (!suffixes.list() || isAddress(host))
        return QString();
    // The result points into the name passed in.
    const QByteArray name = host.toLatin1();
    const char *domain = psl_registrable_domain(suffixes.list(), name.constData());
    return domain ? QString::fromLatin1(domain) : QString();
}

} // namespace

PageTrust::PageTrust(const QUrl &startPage, const QStringList &extraHosts)
{
    for (const QString &entry : extraHosts)
        addExtraHost(entry.trimmed());
    if (!UrlRules::isWeb(startPage))
        return;
    startHost = normalHost(startPage.host());
    startPort = effectivePort(startPage);
    startIsHttps = startPage.scheme() == QLatin1String("https");
    exactOrigin = isExactOriginHost(startHost);
    if (!exactOrigin)
        startDomain = registrableDomain(startHost);
}

PageTrust PageTrust::fromEnvironment()
{
    return PageTrust(Paths::startPageUrl(),
                     qEnvironmentVariable("MELODRIFT_TRUSTED_HOSTS").split(QLatin1Char(','), Qt::SkipEmptyParts));
}

QUrl PageTrust::errorPageUrl()
{
    static const QUrl url(QStringLiteral("melodrift-error:") + QUuid::createUuid().toString(QUuid::WithoutBraces));
    return url;
}

// "host" trusts the host on any port, "host:port" on that port; an address
// or localhost without a port only on the default ports, as the start page
// rule would for them. Anything else is said once, not guessed at.
void PageTrust::addExtraHost(const QString &entry)
{
    if (entry.isEmpty())
        return;
    QString host = entry;
    QString port;
    if (entry.startsWith(QLatin1Char('['))) {
        const int close = entry.indexOf(QLatin1Char(']'));
        host = entry.mid(1, close - 1);
        port = entry.mid(close + 1);
        if (close < 0 || (!port.isEmpty() && !port.startsWith(QLatin1Char(':'))))
            host.clear();
        port = port.mid(1);
    } else if (entry.count(QLatin1Char(':')) == 1) {
        host = entry.section(QLatin1Char(':'), 0, 0);
        port = entry.section(QLatin1Char(':'), 1);
    }
    bool portOk = true;
    const int number = port.isEmpty() ? -1 : port.toInt(&portOk);
    const QString name = normalHost(host);
    const bool usable = !name.isEmpty() && portOk && (port.isEmpty() || (number > 0 && number < 65536))
                        && !name.contains(QRegularExpression(QStringLiteral("[^a-z0-9.:_-]")))
                        && !name.startsWith(QLatin1Char('.'));
    if (!usable) {
        static QSet<QString> warned;
        if (!warned.contains(entry)) {
            warned.insert(entry);
            qWarning().noquote() << "MELODRIFT_TRUSTED_HOSTS: ignoring" << entry
                                 << "- give a host name or address, with a port if needed (charts.example.com, "
                                    "192.0.2.7:8080)";
        }
        return;
    }
    extraHosts.append({name, port.isEmpty() && isExactOriginHost(name) ? 0 : number});
}

bool PageTrust::isExtraHost(const QString &host, const QUrl &url) const
{
    for (const Host &extra : extraHosts) {
        if (extra.name != host)
            continue;
        // 0 stands for the default port of whichever scheme the page has.
        const int wanted = extra.port == 0 ? defaultPort(url) : extra.port;
        if (extra.port < 0 || wanted == effectivePort(url))
            return true;
    }
    return false;
}

bool PageTrust::trusts(const QUrl &url) const
{
    if (url == errorPageUrl())
        return true;
    if (!UrlRules::isWeb(url))
        return false;
    // A page sent in the clear could be anyone's to whoever is on the way.
    if (startIsHttps && url.scheme() != QLatin1String("https"))
        return false;
    const QString host = normalHost(url.host());
    if (host.isEmpty())
        return false;
    if (isExtraHost(host, url))
        return true;
    if (startHost.isEmpty())
        return false;
    if (exactOrigin)
        return host == startHost && effectivePort(url) == startPort;
    return host == startHost || (!startDomain.isEmpty() && registrableDomain(host) == startDomain);
}

QJsonObject PageTrust::rule() const
{
    QJsonArray extras;
    for (const Host &extra : extraHosts)
        extras.append(QJsonObject{{QStringLiteral("name"), extra.name}, {QStringLiteral("port"), extra.port}});
    return QJsonObject{{QStringLiteral("errorPage"), errorPageUrl().toString()},
                       {QStringLiteral("httpsOnly"), startIsHttps},
                       {QStringLiteral("startHost"), startHost},
                       {QStringLiteral("startPort"), startHost.isEmpty() ? -1 : startPort},
                       {QStringLiteral("exactOrigin"), exactOrigin},
                       {QStringLiteral("domain"), startDomain},
                       {QStringLiteral("extraHosts"), extras}};
}
