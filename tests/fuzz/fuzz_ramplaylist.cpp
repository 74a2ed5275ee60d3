// RAM playlists come from anywhere on disk: any bytes must read without a
// fault, and what is read must be usable by the player.
#include "ramplaylist.h"

#include <QBuffer>

#include <cstdio>
#include <cstdlib>

namespace {

QList<QUrl> readBytes(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return RamPlaylist::read(buffer);
}

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "ramplaylist property broken: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const QList<QUrl> urls = readBytes(bytes);

    int entries = 0;
    QList<QUrl> lineByLine;
    for (const QByteArray &line : bytes.split('\n')) {
        if (!line.trimmed().isEmpty())
            ++entries;
        lineByLine << readBytes(line);
    }
    if (urls.size() > entries)
        fail("more URLs than non-blank lines");
    for (const QUrl &url : urls) {
        if (!url.isValid())
            fail("an invalid URL was returned");
    }
    // One line's entry must not depend on its neighbours.
    if (urls != lineByLine)
        fail("the whole file reads differently from its lines one by one");
    return 0;
}
