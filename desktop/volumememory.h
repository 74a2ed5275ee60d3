#ifndef VOLUMEMEMORY_H
#define VOLUMEMEMORY_H

#include <QElapsedTimer>
#include <QHash>
#include <QObject>

class MediaPlayer;

// Hands the volume and mute the user last chose, on any player, to every
// new player and to the next run. The back ends report volumes of their own:
// the player's initial volume late, rounded values and "not a number" (VLC),
// full volume whenever a pipeline starts, which is then what plays
// (GStreamer). So only a change that follows the user's hand on a player's
// volume control counts as the user's, or one asked for through the media
// controls; any other departure from what the player was given is undone.
class VolumeMemory : public QObject
{
    Q_OBJECT
public:
    explicit VolumeMemory(QObject *parent = nullptr);

    void adopt(MediaPlayer *player);

public slots:
    // The user's choice for this player, made outside its own controls.
    void choose(MediaPlayer *player, qreal volume, bool muted);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Intent
    {
        bool known = false;
        qreal volume = 1.0;
        bool muted = false;
        qint64 lastTouch = -1;
        // Undoings since the player's source opened; a back end that
        // insists is not fought for ever.
        int corrections = 0;
    };

    void volumeReported(MediaPlayer *player, qreal volume);
    void mutedReported(MediaPlayer *player, bool muted);
    bool touchedByUser(const Intent &intent) const;
    void correct(MediaPlayer *player);
    void apply(MediaPlayer *player);

    QElapsedTimer clock;
    QHash<MediaPlayer *, Intent> intents;
};

#endif // VOLUMEMEMORY_H
