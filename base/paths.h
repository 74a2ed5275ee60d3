#ifndef PATHS_H
#define PATHS_H

#include <QString>
#include <QUrl>

// Where Melodrift reads and writes. On Windows these are the fixed locations the
// application has always used; elsewhere they follow the XDG base directories.
// Each can be overridden from the environment, which is how tests keep every
// write inside a temporary folder.
namespace Paths {

// MELODRIFT_START_URL, else the chart service's start page.
QUrl startPageUrl();

// MELODRIFT_DOWNLOAD_DIR, else "c:/downloads/" on Windows and the user's
// download directory elsewhere. Always ends with "/".
QString downloadDirectory();

// MELODRIFT_PLAYLIST_FILE, else "c:/Data/melodrift.ram" on Windows and
// melodrift/melodrift.ram under the user's data directory elsewhere.
QString playlistFile();

// The INI file that a default-constructed QSettings uses (needs the
// application object and the INI default format set first).
QString settingsFile();

} // namespace Paths

#endif // PATHS_H
