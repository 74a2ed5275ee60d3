#ifndef MPRISSERVICE_H
#define MPRISSERVICE_H

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QTimer>
#include <QVariantMap>

class CurrentPlayer;
class MediaPlayer;
class QDBusMessage;

// The media controls the desktop sees (MPRIS 2) on the session bus: they
// show and steer the current player. Every property change is announced
// through PropertiesChanged.
class MprisService : public QObject
{
    Q_OBJECT
public:
    MprisService(const QDBusConnection &bus, CurrentPlayer *current, QObject *parent = nullptr);
    ~MprisService() override;

    // Registers the object and a bus name; false when neither could be had.
    bool publish();
    QString busName() const { return ownName; }

    // Sends PropertiesChanged for whatever differs from what was last sent.
    void announceChanges() { announce.start(); }

    // org.mpris.MediaPlayer2
    QStringList supportedMimeTypes() const;

    // org.mpris.MediaPlayer2.Player
    QString playbackStatus() const;
    QVariantMap metadata() const;
    double volume() const;
    void setVolume(double volume);
    qlonglong position() const;
    bool canGoNext() const;
    bool canPlay() const;
    bool canSeek() const;

    void play();
    void pause();
    void playPause();
    void stop();
    void next();
    void seek(qlonglong offsetUs);
    void setPosition(const QDBusObjectPath &track, qlonglong positionUs);
    void openUri(const QString &uri, const QDBusMessage &message);

signals:
    void quitRequested();
    void raiseRequested();
    // A volume set through the controls: the user's choice.
    void volumeChosen(MediaPlayer *player, qreal volume, bool muted);
    void seeked(qlonglong positionUs);

private:
    QString trackId() const;
    QVariantMap plainMetadata() const;
    QVariantMap playerProperties() const;
    void publishChanges();
    void moveTo(qint64 positionMs);

    QDBusConnection bus;
    CurrentPlayer *current;
    QString ownName;
    // Changes arrive in bursts; they are announced together once the burst is over.
    QTimer announce;
    QVariantMap announced;
};

#endif // MPRISSERVICE_H
