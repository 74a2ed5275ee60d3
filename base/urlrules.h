#ifndef URLRULES_H
#define URLRULES_H

#include <QString>
#include <QStringList>
#include <QUrl>

// Which addresses each of the program's doors lets through, in one place:
// the pages that may hold Player, the lookups, the downloads, the players
// and the desktop's hand-offs. Pages and bus clients are not to be trusted;
// every rule names what may pass, never what may not.
namespace UrlRules {

// The longest address, in characters, that the page or the desktop's media
// controls may hand a player: far beyond any address a server answers
// (most refuse request lines over 8 KiB), far below what costs time.
const int maxLocationLength = 64 * 1024;

// http and https: the pages that may hold Player, the lookups and the
// downloads. Anything else (file:, qrc:, data: ...) could hand local
// content to page script or write it where it does not belong.
QStringList webSchemes();
bool isWeb(const QUrl &url);

// What a player may be handed by the page or the desktop: a network
// location and nothing else. Local files, devices and capture schemes
// (fd://, v4l2://, screen:// ...) would give away the machine's own
// content; a line break would add entries to a playlist.
bool isNetworkMedia(const QString &location);

// What the desktop may hand the listening player (the media controls'
// OpenUri, a later start's address): a network location as above, and an
// http or https one. Anything longer than maxLocationLength is refused
// before it is parsed.
bool isWebMedia(const QString &location);

// What may leave for the desktop's own handlers: web and mail addresses.
// The desktop runs whatever handler a scheme names: local files would be
// executed, script and data URLs rendered, and on Windows schemes such as
// ms-msdt start programs. Some mail programs attach whatever local file an
// "attach" or "attachment" field names, so such mail addresses stay.
bool isOutsideLink(const QUrl &url);

} // namespace UrlRules

#endif // URLRULES_H
