#include "urlrules.h"

#include <QRegularExpression>

namespace UrlRules {

namespace {

bool hasScheme(const QUrl &url, const QStringList &schemes)
{
    return url.isValid() && schemes.contains(url.scheme().toLower());
}

// Decoded until nothing changes, so no spelling of the field slips through.
bool carriesAttachment(const QUrl &url)
{
    QString text = url.toString(QUrl::FullyEncoded);
    for (int round = 0; round < 8; ++round) {
        const QString decoded = QUrl::fromPercentEncoding(text.toUtf8());
        if (decoded == text)
            break;
        text = decoded;
    }
    static const QRegularExpression field(QStringLiteral("[?&;]\\s*attach(ment)?\\s*="),
                                          QRegularExpression::CaseInsensitiveOption);
    return text.contains(field);
}

} // namespace

QStringList webSchemes()
{
    return {QStringLiteral("http"), QStringLiteral("https")};
}

bool isWeb(const QUrl &url)
{
    return hasScheme(url, webSchemes());
}

bool isNetworkMedia(const QString &location)
{
    static const QStringList schemes{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("rtsp"),
                                     QStringLiteral("mms"), QStringLiteral("mmsh")};
    if (location.size() > maxLocationLength)
        return false;
    for (const QChar c : location) {
        if (c.category() == QChar::Other_Control)
            return false;
    }
    const QUrl url(location);
    return hasScheme(url, schemes) && !url.host().isEmpty();
}

bool isWebMedia(const QString &location)
{
    return location.size() <= maxLocationLength && isWeb(QUrl(location, QUrl::StrictMode)) && isNetworkMedia(location);
}

bool isOutsideLink(const QUrl &url)
{
    static const QStringList schemes{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("ftp"),
                                     QStringLiteral("mailto")};
    if (!hasScheme(url, schemes))
        return false;
    return url.scheme().toLower() != QLatin1String("mailto") || !carriesAttachment(url);
}

} // namespace UrlRules
