#include "hardening.h"

#include <QDir>
#include <QDirIterator>

namespace Hardening {

QSet<QString> snapshot(const QString &root)
{
    QSet<QString> paths;
    const QDir base(root);
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString relative = base.relativeFilePath(it.next());
        if (relative.startsWith(QLatin1String("cache")) || relative.contains(QLatin1String("/.cache"))
            || relative.contains(QLatin1String("/cache/")))
            continue;
        paths.insert(relative);
    }
    return paths;
}

QStringList appearedSince(const QSet<QString> &before, const QString &root)
{
    QStringList appeared = (snapshot(root) - before).values();
    appeared.sort();
    return appeared;
}

namespace {
void collect(const QString &dir, const QString &marker, const QString &ownRoot, int depth, QStringList &found)
{
    const QString skip = QDir(ownRoot).canonicalPath();
    const QFileInfoList entries =
        QDir(dir).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : entries) {
        if (entry.canonicalFilePath() == skip)
            continue;
        if (entry.fileName().contains(marker))
            found.append(entry.absoluteFilePath());
        if (depth > 0 && entry.isDir() && !entry.isSymLink() && entry.isReadable())
            collect(entry.absoluteFilePath(), marker, ownRoot, depth - 1, found);
    }
}
} // namespace

QStringList strayFiles(const QString &marker, const QString &ownRoot)
{
    QStringList found;
    collect(QDir::tempPath(), marker, ownRoot, 2, found);
    collect(QDir::currentPath(), marker, ownRoot, 1, found);
    collect(QStringLiteral(MELODRIFT_SOURCE_DIR), marker, ownRoot, 0, found);
    found.removeDuplicates();
    return found;
}

} // namespace Hardening
