#ifndef MPRISSERVICE_H
#define MPRISSERVICE_H

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QVariantMap>

#include <functional>

class MediaPlayer;
class QDBusMessage;

// The media controls the desktop sees (MPRIS 2) on the session bus: the
// player that most recently started a source is the one they show and
// steer. Every property change is announced through PropertiesChanged.
class MprisService : public QObject
{
    Q_OBJECT
public:
    explicit MprisService(const QDBusConnection &bus, QObject *parent = nullptr);
    ~MprisService() override;

    // Registers the object and a bus name; false when neither could be had.
    bool publish();
    QString busName() const { return ownName; }

    void addPlayer(MediaPlayer *player, bool listening);
    void setCanGoNext(const std::function<bool()> &check) { canGoNextCheck = check; }
    // Sends PropertiesChanged for whatever differs from what was last sent.
    void announceChanges() { announce.start(); }
    void setListeningPlayerSource(const std::function<MediaPlayer *()> &source) { listeningSource = source; }

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
    void nextRequested();
    // A volume set through the controls: the user's choice.
    void volumeChosen(MediaPlayer *player, qreal volume, bool muted);
    void seeked(qlonglong positionUs);

private:
    void watch(MediaPlayer *player);
    void startedSource(MediaPlayer *player);
    void dropped(QObject *player);
    QString trackId() const;
    QVariantMap plainMetadata() const;
    QVariantMap playerProperties() const;
    void publishChanges();
    void moveTo(qint64 positionMs);
    MediaPlayer *listeningPlayer();

    QDBusConnection bus;
    QString ownName;
    QPointer<MediaPlayer> active;
    QPointer<MediaPlayer> listening;
    QList<MediaPlayer *> watched;
    // Each source started gets a number of its own, for its track id.
    QHash<MediaPlayer *, quint64> trackOf;
    quint64 tracksStarted = 0;
    std::function<bool()> canGoNextCheck;
    std::function<MediaPlayer *()> listeningSource;
    // Changes arrive in bursts; they are announced together once the burst is over.
    QTimer announce;
    // Runs from a Next passed on to the page until a source started after
    // it plays (or for a while, should the page start none).
    QTimer movingOn;
    QElapsedTimer sinceNext;
    quint64 tracksBeforeNext = 0;
    QVariantMap announced;
};

#endif // MPRISSERVICE_H
