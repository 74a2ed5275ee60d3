#ifndef CLOCKWATCH_H
#define CLOCKWATCH_H

#include <QtGlobal>

// Reads a media clock sampled while the back end plays or pauses, and tells
// when the back end's own report of its state is not to be trusted.
//
// Phonon's GStreamer back end can strand a source: paused with nobody having
// asked (its buffering messages arrived out of order), reported playing with
// a clock that never moves, whether from its start or from a resumed pause,
// or standing at its end with the end held back.
// The watch only judges; the player acts. Times are milliseconds on any
// monotonic clock, so the judgement can be checked without a back end.
class ClockWatch
{
public:
    enum Verdict {
        Nothing,
        // A reported pause whose clock runs: the media play.
        ClockRuns,
        // The source stands where no data or pause explains it; a seek to
        // where it stands makes the pipeline preroll and play again.
        Stranded,
        // The source stands at its end: it has ended.
        EndHeld,
        // The clock has not run since playback resumed from a pause: it
        // stands where the pause was, or at 0. Neither play() nor a seek
        // moves such a pipeline; set up again, it plays from resumePoint().
        ResumeLost,
    };

    // A pause nobody asked for, with no buffering news for this long, is not
    // waiting for data any more.
    static constexpr int strandedMs = 2000;
    // How far a paused clock must run between two readings to count as
    // playing: a paused pipeline may report a frame or two of movement.
    static constexpr int pausedAdvanceMs = 300;
    // A clock that stands this close to the end, this long, while the source
    // plays, has reached the end; the back ends report it within a few
    // hundred milliseconds.
    static constexpr int endSlackMs = 200;
    static constexpr int heldEndMs = 1500;

    void startPause(qint64 clock, qint64 at);
    // resumed: playback goes on from the pause last watched.
    void startPlaying(bool resumed = false);
    void bufferNews(qint64 at);
    // The media were sent to position: the clock jumps there by itself,
    // which is neither playback nor a stand. A pause stays where it was
    // asked to be, and a resume that never runs goes on from there.
    void seekTo(qint64 position, qint64 at);
    // Where the last seek goes while the clock has not been read there yet;
    // -1 when no seek is under way.
    qint64 seekTarget() const { return target; }
    // Where the pause was that playback resumed from.
    qint64 resumePoint() const { return resumedFrom; }

    Verdict readPaused(qint64 clock, bool pauseAsked, qint64 at);
    Verdict readPlaying(qint64 clock, qint64 total, bool backEndPlays, bool queueEmpty, qint64 at);

private:
    static constexpr qint64 never = -1;

    bool buffering(qint64 at) const;
    bool landing(qint64 clock, qint64 at);

    qint64 pausedClock = 0;
    qint64 pausedSince = never;
    qint64 playingClock = -1;
    qint64 standsSince = never;
    qint64 resumedFrom = never;
    qint64 lastBufferNews = never;
    qint64 target = never;
    qint64 seekedAt = never;
};

#endif // CLOCKWATCH_H
