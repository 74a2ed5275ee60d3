#ifndef MEDIATEXT_H
#define MEDIATEXT_H

#include <QMultiMap>
#include <QString>

namespace Phonon {
class MediaSource;
}

// The texts of the player's time label, buffering label and information
// screen, kept apart from the widgets so that every rule can be checked
// without media of the right length or tags.
namespace MediaText {

// Longer names are cut to their first 30 characters and "...".
QString cut(const QString &text);

// A name as window titles, notifications and the desktop's media controls
// show it: at most 256 characters, a longer one cut and ended with "…". X
// refuses a window title of megabytes and ends the program, and no title
// bar or notification shows more than a line anyway.
QString title(const QString &text);

// A player window's title for a location: the text after its last "/", as
// title() cuts it, never with the user name and password an address without
// a path would otherwise leave there.
QString locationTitle(const QString &location);

// Position and length in milliseconds, "m:ss / m:ss", or "h:mm:ss / h:mm:ss"
// once the length reaches an hour. Hours are never wrapped.
QString timeText(qint64 position, qint64 length);

// "(42%)" while buffering, empty once complete.
QString bufferText(int percent);

// The name of a source as the information screen shows it: a URL whole (as
// title() cuts it) but without its user name and password, a file by the
// part after its last "/".
QString sourceName(const Phonon::MediaSource &source);

// The information screen's rich text from the media's metadata, its source
// and the error message (empty when there is none), each of them escaped.
QString infoText(const QMultiMap<QString, QString> &metaData, const Phonon::MediaSource &source,
                 const QString &message);

} // namespace MediaText

#endif // MEDIATEXT_H
