#ifndef SCREENSAVERINHIBITOR_H
#define SCREENSAVERINHIBITOR_H

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QHash>
#include <QObject>

class MediaPlayer;

// Keeps the screen awake while a player shows video and plays, and only
// then (a video in the hidden listening player is only heard): one inhibition per player, from the screen saver
// (org.freedesktop.ScreenSaver) or else from the desktop portal, given back
// when the video pauses, stops, ends or fails, when its player goes, and
// when the application ends. Sound alone never keeps the screen awake.
class ScreenSaverInhibitor : public QObject
{
    Q_OBJECT
public:
    explicit ScreenSaverInhibitor(const QDBusConnection &bus, QObject *parent = nullptr);
    ~ScreenSaverInhibitor() override;

    void watch(MediaPlayer *player);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Hold
    {
        enum Stage { Free, Asking, Held };
        Stage stage = Free;
        bool viaPortal = false;
        uint cookie = 0;
        QDBusObjectPath request;
        QDBusPendingCall answer = QDBusPendingCall::fromCompletedCall(QDBusMessage());
    };

    bool wants(MediaPlayer *player, const Hold &hold) const;
    void update(MediaPlayer *player);
    void ask(MediaPlayer *player, bool viaPortal);
    void answered(MediaPlayer *player, bool viaPortal, const QDBusPendingCall &answer);
    void dropped(MediaPlayer *player);
    // Gives a hold back; waiting for the answer at exit, so none is left behind.
    void giveBack(const Hold &hold, bool wait);
    static Hold held(bool viaPortal, const QDBusPendingCall &answer);

    QDBusConnection bus;
    QHash<MediaPlayer *, Hold> holds;
};

#endif // SCREENSAVERINHIBITOR_H
