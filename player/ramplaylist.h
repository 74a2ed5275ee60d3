#ifndef RAMPLAYLIST_H
#define RAMPLAYLIST_H

#include <QList>
#include <QStringList>
#include <QUrl>

class QIODevice;

// RAM playlists: one encoded URL a line; blank lines and lines that are not
// valid URLs are skipped without a word.
namespace RamPlaylist {

// The valid URLs of an open device, in line order.
QList<QUrl> read(QIODevice &device);

// The valid URLs of every file in turn; files that cannot be opened are skipped.
QList<QUrl> read(const QStringList &fileNames);

} // namespace RamPlaylist

#endif // RAMPLAYLIST_H
