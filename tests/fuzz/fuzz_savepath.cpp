// Download file names come from the page. Whatever name is accepted must stay
// inside the download folder, read the POSIX way and the Windows way.
#include "savepath.h"

#include <QDir>
#include <QStringList>
#include <QVector>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const QString directory = QStringLiteral("/srv/melodrift/downloads/");

[[noreturn]] void fail(const char *what, const QString &name)
{
    std::fprintf(stderr, "savepath property broken: %s\nname (UTF-16 hex): %s\n", what,
                 QByteArray(reinterpret_cast<const char *>(name.utf16()), name.size() * 2).toHex().constData());
    std::abort();
}

bool inside(const QString &path)
{
    const QString root = QDir::cleanPath(directory);
    const QString clean = QDir::cleanPath(path);
    return clean.startsWith(root + QLatin1Char('/')) && clean.size() > root.size() + 1;
}

// Windows separates with backslashes, drops trailing dots and blanks of a
// component, and reads "x:" as a drive.
QString windowsReading(const QString &name)
{
    QString slashed = name;
    slashed.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QStringList parts = slashed.split(QLatin1Char('/'));
    for (QString &part : parts) {
        if (part == QLatin1String(".") || part == QLatin1String(".."))
            continue;
        QString stripped = part;
        while (!stripped.isEmpty() && (stripped.endsWith(QLatin1Char('.')) || stripped.endsWith(QLatin1Char(' '))))
            stripped.chop(1);
        if (stripped.isEmpty() && !part.isEmpty())
            stripped = part.count(QLatin1Char('.')) >= 2 ? QStringLiteral("..") : QStringLiteral(".");
        part = stripped;
    }
    return parts.join(QLatin1Char('/'));
}

void check(const QString &name)
{
    QString refusal;
    const QString path = SavePath::resolve(directory, name, &refusal);
    if (path.isEmpty()) {
        if (refusal.isEmpty())
            fail("a refused name came without a reason", name);
        return;
    }
    if (!refusal.isEmpty())
        fail("an accepted name came with a reason", name);
    if (path.contains(QChar::Null))
        fail("an accepted path holds NUL, which the C library cuts", name);
    if (std::any_of(name.cbegin(), name.cend(), SavePath::disguises))
        fail("an accepted name holds a character that disguises it", name);
    if (!path.startsWith(directory))
        fail("the accepted path does not start with the folder", name);
    if (!inside(path))
        fail("the accepted path leaves the folder (POSIX reading)", name);
    const QString windows = windowsReading(name.isEmpty() ? SavePath::fallbackName() : name);
    const bool drive = windows.size() >= 2 && windows.at(1) == QLatin1Char(':') && windows.at(0).unicode() < 128
                       && windows.at(0).isLetter();
    if (windows.startsWith(QLatin1Char('/')) || drive)
        fail("the accepted name is absolute when Windows reads it", name);
    // A trailing blank can make Windows read a name as the folder itself;
    // opening that fails, which is harmless. Only leaving the folder counts.
    if (!inside(directory + windows) && QDir::cleanPath(directory + windows) != QDir::cleanPath(directory))
        fail("the accepted path leaves the folder (Windows reading)", name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto *chars = reinterpret_cast<const char *>(data);
    // The page's strings reach the slot as UTF-16; try the bytes both as
    // UTF-8 text and as raw UTF-16 code units (lone surrogates included).
    check(QString::fromUtf8(chars, int(size)));
    QVector<ushort> units(int(size / 2));
    if (!units.isEmpty())
        std::memcpy(units.data(), data, size_t(units.size()) * 2);
    check(QString::fromUtf16(units.constData(), units.size()));
    return 0;
}
