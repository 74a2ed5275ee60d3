#ifndef PLAYBACKCORRECTOR_H
#define PLAYBACKCORRECTOR_H

#include "clockwatch.h"
#include "playbackclock.h"
#include "playbackport.h"

#include <QList>
#include <QObject>
#include <QString>

// Plays sources on a back end and corrects what the back ends get wrong, so
// that the player above it only shows what it is told:
// - the state to show, late reports of the GStreamer back end left out;
// - a source given up (an error, a second error after one retry, or a
//   silent stop), with the text to tell the user;
// - the end of a source that played.
// It starts new sources itself: a play() during loading is lost under
// GStreamer, so it plays once the source has loaded. Every seek goes through
// it, so that the jump of the clock is not taken for playback or a stand.
// And it rescues sources the back end strands, judged by ClockWatch.
//
// The back end is reached through a PlaybackPort and time through a
// PlaybackClock, so that every fault can be brought about without sound.
// While media play normally nothing of its own wakes: the clock is judged
// on the back end's ticks, and read on a timer only while a pause shows or
// the clock stands.
class PlaybackCorrector : public QObject
{
    Q_OBJECT

public:
    explicit PlaybackCorrector(PlaybackPort &port, PlaybackClock &clock = PlaybackClock::system(),
                               QObject *parent = nullptr);

    // What the player shows: the back end's state, except where the back
    // end reported a change late.
    Phonon::State state() const { return shown; }
    // Why the current source was given up; empty while it is not.
    QString failure() const { return failureText; }
    // Plays nothing, and will not by itself: stopped with no source on its
    // way, or the source given up.
    bool isIdle() const;
    // Where the media stand, in milliseconds: where a seek goes until the
    // back end has got there.
    qint64 position() const;

    // The source becomes current and plays; the queue stays as it is.
    void start(const Phonon::MediaSource &source);
    // The first source plays and the rest replace the queue. An empty list
    // only empties the queue.
    void start(const QList<Phonon::MediaSource> &sources);
    void play();
    // A pause asked for, which the clock rescues leave alone.
    void pause();
    // Stopping is not reaching the end.
    void stop();
    // Media paused stay paused, and play on from there when told to play.
    void seek(qint64 position);

signals:
    // What state() returns changed from oldstate to newstate.
    void stateChanged(Phonon::State newstate, Phonon::State oldstate);
    // The current source will not play; message says why.
    void failed(const QString &message);
    // A source that played has reached its end.
    void ended();
    // A source was made current to play.
    void sourceOpened();
    // Whether the media have video; also said again each time playback
    // starts.
    void hasVideoChanged(bool hasVideo);

private:
    void backEndStateChanged(Phonon::State newstate, Phonon::State oldstate);
    bool isLateReport(Phonon::State newstate, Phonon::State oldstate) const;
    void show(Phonon::State newstate, Phonon::State oldstate);
    void playWhenLoaded();
    void startedPlaying(bool resumed = false);
    void handleError();
    void giveUp();
    void backEndFinished();
    void bufferNews(int percent);

    void watchPausedClock();
    void watchPlayingClock(bool resumed);
    void awaitClockMoving(qint64 clock);
    void tick(qint64 time);
    void checkClock();
    void prerollAgain(qint64 position);
    void setUpAgain(qint64 position);
    bool isSetUpReport(Phonon::State newstate);
    void endHeldSource();

    PlaybackPort &port;
    PlaybackClock &clock;
    Phonon::State shown;
    // The back ends report unplayable media as non-fatal errors (VLC, which
    // then fails again on every retry) or not at all (GStreamer stops
    // silently). One retry per source, and a watch for the silent stop.
    Phonon::MediaSource retriedSource;
    bool sourceStarted = false;
    bool playPending = false;
    bool pauseAsked = false;
    // Counts the sources started, so that a report knows whether one was
    // started while it was handled.
    int starts = 0;
    QString failureText;
    // Children, so that what wakes the corrector can be told apart.
    PlaybackTimer *stallTimer;
    PlaybackTimer *clockTimer;
    // An end judged, announced on the next turn of the event loop.
    PlaybackTimer *endTimer;
    // The seek of a source set up again, made once the back end has
    // returned from reporting that it plays.
    PlaybackTimer *setUpSeekTimer;
    ClockWatch clockWatch;
    qint64 lastTick = -1;
    // Where a source set up again goes on from: until it plays (setUpAt),
    // then once setUpSeekTimer fires (setUpSeekTo); -1 when none is.
    qint64 setUpAt = -1;
    qint64 setUpSeekTo = -1;
};

#endif // PLAYBACKCORRECTOR_H
