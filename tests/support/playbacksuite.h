#ifndef PLAYBACKSUITE_H
#define PLAYBACKSUITE_H

// The application as main() builds it, for the media hand-off tests: the main
// window on a given start page, the players it makes, the page's script, and
// what it writes to the debug output. Tests read players through public
// Phonon API (a player's seek slider is bound to its media object) and the
// player's own state, which leaves out the back end's late reports.

#include "chartservice.h"
#include "messagelog.h"
#include "modalanswerer.h"
#include "urlcatcher.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <memory>

#include <phonon/MediaObject>

class BrowserView;
class MainWindow;
class MediaPlayer;

namespace Handoff {

class App
{
public:
    App();
    ~App();

    // Builds and shows the main window as main() does, on this start page,
    // and waits until readyScript evaluates to true in the page.
    bool open(const QUrl &startPage, const QString &readyScript);
    // Deletes the window, then every player it made (the program never does,
    // but a test must not leave media playing into the next one).
    void close();

    MainWindow *window() const { return mainWindow.get(); }
    BrowserView *view() const;
    QVariant js(const QString &script) const;

    // The hidden player the view made once the start page had loaded.
    MediaPlayer *firstPlayer() const { return first; }
    // All players alive, made while this application was open.
    QList<MediaPlayer *> players() const;
    // Players made since the last call (or since open()).
    QList<MediaPlayer *> takeNewPlayers();

    // Clicks the centre of the page element that selector finds (scrolled
    // into view first), as a user's mouse would. False when there is none.
    bool click(const QString &selector);

private:
    std::unique_ptr<MainWindow> mainWindow;
    MediaPlayer *first = nullptr;
    QList<QPointer<MediaPlayer>> before;
    QList<QPointer<MediaPlayer>> seen;
};

// What every suite that plays media for a page sets up: the stand-in chart
// service, the application on a start page for each case, and watches on
// message boxes and desktop hand-offs. A case fails when playback showed a
// box, the page reports a failure, or anything reached the desktop.
class PlaybackSuite : public QObject
{
    Q_OBJECT

protected:
    QString media(const QString &file) const;

    ChartService service;
    App app;
    std::unique_ptr<MessageLog> messages;

private:
    // The chart page unless the suite serves a page of its own.
    virtual QUrl startPage() const { return service.startPage(); }
    // Script that is true once the start page can be used.
    virtual QString readyScript() const { return QStringLiteral("window.chartReady === true"); }
    // What the page says went wrong in this case, read before it closes
    // (the chart page keeps no such record).
    virtual QString pageFailures() const { return QString(); }

    // Every message box a player opens (a fatal playback error shows one)
    // is closed and its text kept.
    std::unique_ptr<ModalAnswerer> boxes;
    std::unique_ptr<UrlCatcher> desktop;

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
};

QList<MediaPlayer *> allPlayers();
Phonon::MediaObject *mediaObjectOf(MediaPlayer *player);
Phonon::State stateOf(MediaPlayer *player);
// The state by name, so that a failed comparison says which it was.
QString stateText(MediaPlayer *player);
QString stateText(Phonon::State state);
QUrl sourceOf(MediaPlayer *player);
bool isFullScreen(MediaPlayer *player);
QString scriptQuoted(const QString &text);

} // namespace Handoff

#endif // PLAYBACKSUITE_H
