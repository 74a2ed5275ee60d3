#include "testenvironment.h"

#include <QDir>

namespace {
TestEnvironment *currentEnvironment = nullptr;

void setPath(const char *name, const QString &path)
{
    QDir().mkpath(path);
    qputenv(name, QFile::encodeName(path));
}
} // namespace

TestEnvironment::TestEnvironment()
    : dir(QDir::tempPath() + QStringLiteral("/melodrift-test-XXXXXX"))
{
    if (!dir.isValid())
        qFatal("cannot create the test's temporary folder");
    setPath("HOME", dir.path() + QStringLiteral("/home"));
    setPath("XDG_CONFIG_HOME", configDirectory());
    setPath("XDG_DATA_HOME", dir.path() + QStringLiteral("/data"));
    setPath("MELODRIFT_DOWNLOAD_DIR", downloadDirectory());
    // The playlist's folder is left for the application to create.
    qputenv("MELODRIFT_PLAYLIST_FILE", QFile::encodeName(playlistFile()));
    // Caches are shared by a whole test session (scripts/with-test-session.sh);
    // outside one, keep them here too.
    if (qEnvironmentVariableIsEmpty("XDG_CACHE_HOME"))
        setPath("XDG_CACHE_HOME", dir.path() + QStringLiteral("/cache"));
}

QString TestEnvironment::downloadDirectory() const
{
    return dir.path() + QStringLiteral("/downloads/");
}

QString TestEnvironment::playlistFile() const
{
    return dir.path() + QStringLiteral("/playlist/melodrift.ram");
}

QString TestEnvironment::configDirectory() const
{
    return dir.path() + QStringLiteral("/config");
}

QString TestEnvironment::sourcePath(const QString &relative)
{
    return QStringLiteral(MELODRIFT_SOURCE_DIR "/") + relative;
}

namespace TestSupport {
TestEnvironment &environment()
{
    Q_ASSERT(currentEnvironment);
    return *currentEnvironment;
}

void setEnvironment(TestEnvironment *env)
{
    currentEnvironment = env;
}
} // namespace TestSupport
