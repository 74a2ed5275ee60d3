#ifndef VOLUMEMEMORY_H
#define VOLUMEMEMORY_H

#include <QHash>
#include <QObject>

class MediaPlayer;

// Hands the volume and mute the user last chose, on any player, to every
// new player and to the next run. The back ends report volumes of their own:
// the player's initial volume late, rounded values, and 0 while muted (VLC);
// around a source change VLC reports "not a number" until the new source has
// sound (for a silent one, for as long as it plays) and then full volume;
// GStreamer reports full volume whenever a pipeline starts, which is then
// what plays, and does not always report a change at all. So the user's
// choice is taken from the control the user's hand moved, or as asked
// through the media controls, never read back off the output; a later
// departure from it is the back end's and is undone.
class VolumeMemory : public QObject
{
    Q_OBJECT
public:
    explicit VolumeMemory(QObject *parent = nullptr);

    void adopt(MediaPlayer *player);

public slots:
    // The user's choice for this player, made outside its own controls.
    void choose(MediaPlayer *player, qreal volume, bool muted);

private:
    struct Intent
    {
        // Whether the volume below was chosen by the user (now or in an
        // earlier run) rather than the player's own.
        bool known = false;
        qreal volume = 1.0;
        bool muted = false;
        // Undoings since the player's source opened; a back end that
        // insists is not fought for ever.
        int corrections = 0;
    };

    void watchControl(MediaPlayer *player);
    void volumeReported(MediaPlayer *player, qreal volume);
    void mutedReported(MediaPlayer *player, bool muted);
    void correct(MediaPlayer *player);
    void apply(MediaPlayer *player);

    QHash<MediaPlayer *, Intent> intents;
};

#endif // VOLUMEMEMORY_H
