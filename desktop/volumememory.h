#ifndef VOLUMEMEMORY_H
#define VOLUMEMEMORY_H

#include <QHash>
#include <QObject>

class MediaPlayer;

// Hands the volume and mute the user last chose, on any player, to every
// new player and to the next run. The back ends report volumes of their own:
// the player's initial volume late, rounded values, "not a number" and 0
// while muted (VLC), full volume whenever a pipeline starts, which is then
// what plays (GStreamer); and GStreamer does not always report a change at
// all. So the user's choice is read off the player right after the user's
// hand moved its volume control, or taken as asked through the media
// controls; a later departure from it is the back end's and is undone.
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
        // Whether the volume below was chosen by the user (now or in an
        // earlier run) rather than read off the new player.
        bool known = false;
        qreal volume = 1.0;
        bool muted = false;
        // Undoings since the player's source opened; a back end that
        // insists is not fought for ever.
        int corrections = 0;
    };

    void readChoice(MediaPlayer *player, bool volumeMoved);
    void volumeReported(MediaPlayer *player, qreal volume);
    void mutedReported(MediaPlayer *player, bool muted);
    void correct(MediaPlayer *player);
    void apply(MediaPlayer *player);

    QHash<MediaPlayer *, Intent> intents;
};

#endif // VOLUMEMEMORY_H
