#include "pagetrust.h"

#include "paths.h"

#include <QDebug>
#include <QHostAddress>

#include <libpsl.h>

namespace {

bool isWebScheme(const QString &scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

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

int effectivePort(const QUrl &url)
{
    return url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
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
    for (const QString &host : extraHosts) {
        const QString name = normalHost(host.trimmed());
        if (!name.isEmpty())
            this->extraHosts.append(name);
    }
    if (!isWebScheme(startPage.scheme()))
        return;
    startHost = normalHost(startPage.host());
    startPort = effectivePort(startPage);
    exactOrigin = startHost == QLatin1String("localhost") || isAddress(startHost);
    if (!exactOrigin)
        startDomain = registrableDomain(startHost);
}

PageTrust PageTrust::fromEnvironment()
{
    return PageTrust(Paths::startPageUrl(),
                     qEnvironmentVariable("MELODRIFT_TRUSTED_HOSTS").split(QLatin1Char(','), Qt::SkipEmptyParts));
}

bool PageTrust::trusts(const QUrl &url) const
{
    if (!url.isValid() || !isWebScheme(url.scheme()))
        return false;
    const QString host = normalHost(url.host());
    if (host.isEmpty())
        return false;
    if (extraHosts.contains(host))
        return true;
    if (startHost.isEmpty())
        return false;
    if (exactOrigin)
        return host == startHost && effectivePort(url) == startPort;
    return host == startHost || (!startDomain.isEmpty() && registrableDomain(host) == startDomain);
}
