#include "paths.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace {

QString fromEnvironment(const char *name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

QString withTrailingSlash(const QString &dir)
{
    return dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
}

} // namespace

namespace Paths {

QUrl startPageUrl()
{
    const QString overridden = fromEnvironment("MELODRIFT_START_URL");
    if (!overridden.isEmpty())
        return QUrl(overridden);
    return QUrl(QStringLiteral(MELODRIFT_START_URL));
}

QString downloadDirectory()
{
    const QString overridden = fromEnvironment("MELODRIFT_DOWNLOAD_DIR");
    if (!overridden.isEmpty())
        return withTrailingSlash(QDir::fromNativeSeparators(overridden));
#ifdef Q_OS_WIN
    return QStringLiteral("c:/downloads/");
#else
    QString dir = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (dir.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/Downloads");
    return withTrailingSlash(dir);
#endif
}

QString playlistFile()
{
    const QString overridden = fromEnvironment("MELODRIFT_PLAYLIST_FILE");
    if (!overridden.isEmpty())
        return QDir::fromNativeSeparators(overridden);
#ifdef Q_OS_WIN
    return QStringLiteral("c:/Data/melodrift.ram");
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/melodrift/melodrift.ram");
#endif
}

QString settingsFile()
{
    return QSettings().fileName();
}

} // namespace Paths
