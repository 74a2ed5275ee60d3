#ifndef TESTMEDIA_H
#define TESTMEDIA_H

#include <QString>

// Media files made on the spot with sox and gst-launch-1.0, for tests that
// play real media. Each function writes into the given folder, returns the
// file's absolute path, or an empty string when the tool failed (the reason
// goes to the test's warning output).
namespace TestMedia {

// Ogg Vorbis tone with TITLE and ARTIST comments (either may be empty to leave it out).
QString song(const QString &dir, const QString &name, double seconds, const QString &title = QString(),
             const QString &artist = QString());

// Ogg Theora video of the given number of 30 fps frames, 160 by 120, with
// a Vorbis tone as long when `sound` (the back ends handle the volume of a
// silent source differently).
QString video(const QString &dir, const QString &name, int frames = 30, bool sound = false);

// Random bytes that no decoder accepts.
QString noise(const QString &dir, const QString &name, int bytes = 20000);

} // namespace TestMedia

#endif // TESTMEDIA_H
