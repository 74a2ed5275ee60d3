#ifndef SONGNOTIFIER_H
#define SONGNOTIFIER_H

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QTimer>

class MediaPlayer;
class QWidget;

// Tells the desktop (org.freedesktop.Notifications) when a new song starts in
// the listening player while the main window is not active: the title as
// summary, the artist as body. Each notification replaces the one before.
// The player's settings can turn this off.
class SongNotifier : public QObject
{
    Q_OBJECT
public:
    SongNotifier(const QDBusConnection &bus, QWidget *window, QObject *parent = nullptr);

    void setListeningPlayer(MediaPlayer *player);

private:
    bool named() const;
    void check();
    void notify();
    void show(const QString &summary, const QString &body);

    QDBusConnection bus;
    QPointer<QWidget> window;
    QPointer<MediaPlayer> player;
    // A song has opened and has not been announced yet.
    bool awaited = false;
    // The song was announced by its file name, for want of one of its own.
    bool namedByFile = false;
    // How long a playing song may stay without a title before its file name
    // stands in for it.
    QTimer untitled;
    uint shownId = 0;
};

#endif // SONGNOTIFIER_H
