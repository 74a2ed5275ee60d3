#ifndef CURRENTPLAYER_H
#define CURRENTPLAYER_H

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <phonon/phononnamespace.h>

#include <functional>

class MediaPlayer;

// The player the desktop shows and steers, from the media controls and from
// the tray alike: the one that most recently started a source, else the
// listening player, where the page's songs play. Next moves the chart page on
// one item at a time, however many calls arrive meanwhile.
class CurrentPlayer : public QObject
{
    Q_OBJECT
public:
    explicit CurrentPlayer(QObject *parent = nullptr);

    // Every player of the page host, once or more; `listening` marks the
    // hidden one.
    void addPlayer(MediaPlayer *player, bool listening);
    void setCanGoNext(const std::function<bool()> &check) { canGoNextCheck = check; }
    // The answer of that check may have changed.
    void canGoNextMayHaveChanged() { emit changed(); }
    // Gives the listening player when it is needed before the page host has
    // handed it in (made on demand; it then comes through addPlayer).
    void setListeningPlayerSource(const std::function<MediaPlayer *()> &source) { listeningSource = source; }

    // The player shown; none before the page host has made one.
    MediaPlayer *player() const;
    MediaPlayer *listeningPlayer();
    // The shown player has a source to play.
    bool hasSource() const;
    // Counts the sources started, from 1; 0 while the shown player has none.
    quint64 track() const;
    Phonon::State state() const;
    // From the source's tags, as MediaText::title cuts them. The title falls
    // back on the file name; the others are empty without tags.
    QString title() const;
    QStringList artists() const;
    QStringList albums() const;
    bool canGoNext() const;

    void play();
    void pause();
    void playPause();
    void stop();
    // Asks the page for its next item, unless a move is still under way.
    void next();

signals:
    // Something shown of the player may have changed: which one it is, its
    // state, tags, length, seekability, volume.
    void changed();
    void nextRequested();

private:
    void watch(MediaPlayer *player);
    void startedSource(MediaPlayer *player);
    void dropped(QObject *player);

    QPointer<MediaPlayer> active;
    QPointer<MediaPlayer> listening;
    QList<MediaPlayer *> watched;
    // Each source started gets a number of its own (the media controls'
    // track id).
    QHash<MediaPlayer *, quint64> trackOf;
    quint64 tracksStarted = 0;
    std::function<bool()> canGoNextCheck;
    std::function<MediaPlayer *()> listeningSource;
    // Runs from a Next passed on to the page until a source started after
    // it plays (or for a while, should the page start none).
    QTimer movingOn;
    QElapsedTimer sinceNext;
    quint64 tracksBeforeNext = 0;
};

#endif // CURRENTPLAYER_H
