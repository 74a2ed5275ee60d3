#ifndef DESKTOPINTEGRATION_H
#define DESKTOPINTEGRATION_H

#include <QLoggingCategory>
#include <QObject>
#include <QPointer>

#include <functional>

Q_DECLARE_LOGGING_CATEGORY(lcDesktop)

class CurrentPlayer;
class MediaPlayer;
class MprisService;
class ScreenSaverInhibitor;
class SongNotifier;
class VolumeMemory;
class QWidget;

// Melodrift on the desktop: media controls on the session bus, the screen
// kept awake while a video plays, a notification when a song starts unseen,
// the volume kept across players and runs, and the tray icon. The page
// host's players are handed in as they appear; what the controls ask of the
// page host comes out as signals. Without a session bus only the volume and
// the tray (the X tray, where there is one) are kept.
class DesktopIntegration : public QObject
{
    Q_OBJECT
public:
    // `window` is the main window: raised on request, and a song starting
    // while it is active needs no notification.
    explicit DesktopIntegration(QWidget *window);
    ~DesktopIntegration() override;

    // Every player of the page host, once or more; `listening` marks the
    // hidden one where the page's songs play.
    void addPlayer(MediaPlayer *player, bool listening);
    // Whether the controls' Next can move the page on now.
    void setCanGoNext(const std::function<bool()> &canGoNext);
    // The answer of that check may have changed.
    void canGoNextMayHaveChanged();
    // Gives the listening player when the controls need one before it was
    // handed in (made on demand; it is then handed in through addPlayer).
    void setListeningPlayerSource(const std::function<MediaPlayer *()> &source);

    // The desktop file's id, without ".desktop".
    static QString desktopEntry();

signals:
    void quitRequested();
    void raiseRequested();
    void nextRequested();

private:
    QList<QPointer<MediaPlayer>> players;
    CurrentPlayer *current;
    VolumeMemory *volumeMemory = nullptr;
    MprisService *mpris = nullptr;
    ScreenSaverInhibitor *inhibitor = nullptr;
    SongNotifier *notifier = nullptr;
};

#endif // DESKTOPINTEGRATION_H
