#include "clockwatch.h"

void ClockWatch::startPause(qint64 clock, qint64 at)
{
    // The clock read before a seek has landed is where the media were.
    pausedClock = target == never ? clock : target;
    pausedSince = at;
}

void ClockWatch::startPlaying(bool resumed)
{
    playingClock = -1;
    standsSince = never;
    resumedFrom = resumed ? pausedClock : never;
}

void ClockWatch::bufferNews(qint64 at)
{
    lastBufferNews = at;
}

void ClockWatch::seekTo(qint64 position, qint64 at)
{
    target = position;
    seekedAt = at;
    pausedClock = position;
    pausedSince = at;
    playingClock = -1;
    standsSince = never;
    if (resumedFrom != never)
        resumedFrom = position;
}

// The back ends take a moment to get where a seek sends them, and report
// the clock from before the seek until then. A seek has landed once the
// clock is read at its target (or just past it, for media that play on);
// one that has not after strandedMs went elsewhere, and the clock is judged
// from where it is.
bool ClockWatch::landing(qint64 clock, qint64 at)
{
    if (target == never)
        return false;
    const bool landed = clock >= target - pausedAdvanceMs && clock <= target + strandedMs;
    if (!landed && at - seekedAt < strandedMs)
        return true;
    target = never;
    pausedClock = clock;
    pausedSince = at;
    playingClock = -1;
    standsSince = never;
    return false;
}

// Buffering messages from Phonon's GStreamer back end can arrive out of order
// (100 % before 1 %). The back end pauses for the last one and then either
// plays on while it reports the pause, or stays paused for good. A clock that
// runs is the surer sign of playback. A pause that nobody asked for and no
// buffering news explains is stranded.
ClockWatch::Verdict ClockWatch::readPaused(qint64 clock, bool pauseAsked, qint64 at)
{
    if (landing(clock, at))
        return Nothing;
    const bool clockRuns = clock - pausedClock >= pausedAdvanceMs;
    pausedClock = clock;
    if (clockRuns) {
        pausedSince = at;
        return ClockRuns;
    }
    if (!pauseAsked && !buffering(at) && at - pausedSince >= strandedMs) {
        pausedSince = at;
        return Stranded;
    }
    return Nothing;
}

// The back end holds back the end of a source for as long as the source it
// replaced had left to play, when the new one is read through before the
// back end has learnt its length (seen after a rewind): the media stand at
// their end while reported playing.
// It can also report playing for a song whose clock never leaves the start:
// a short song, read through at once, had its "about to finish" wait run out
// while the pipeline went to playing, and nothing played after it. Only a
// clock that has stood for longer than the media had left counts as
// stranded: the back end also stops a video's clock for a while near its end,
// and a seek then would drop the end.
//
// After a resumed pause, though, a clock that has not run once in 2 s is
// stranded wherever it stands (seen at 0 and where the pause was, under
// load): the media had been playing a moment before.
ClockWatch::Verdict ClockWatch::readPlaying(qint64 clock, qint64 total, bool backEndPlays, bool queueEmpty, qint64 at)
{
    if (landing(clock, at))
        return Nothing;
    const bool stands = total > 0 && clock == playingClock;
    if (playingClock != -1 && clock > playingClock)
        resumedFrom = never;
    playingClock = clock;
    if (!stands) {
        standsSince = never;
        return Nothing;
    }
    if (standsSince == never) {
        standsSince = at;
        return Nothing;
    }
    const qint64 stood = at - standsSince;
    if (clock >= total - endSlackMs)
        return stood >= heldEndMs && queueEmpty ? EndHeld : Nothing;
    if (resumedFrom != never && stood >= strandedMs && backEndPlays && !buffering(at)) {
        standsSince = never;
        return ResumeLost;
    }
    if (stood >= total - clock + strandedMs && backEndPlays) {
        standsSince = never;
        return Stranded;
    }
    return Nothing;
}

bool ClockWatch::buffering(qint64 at) const
{
    return lastBufferNews != never && at - lastBufferNews < strandedMs;
}
