#include "playbackcorrector.h"
#include "gstreamertuning.h"
#include "mediatext.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLoggingCategory>

// The rescues act on faults of the back end that show once in many runs;
// "melodrift.player.debug=true" in QT_LOGGING_RULES tells when one acted.
Q_LOGGING_CATEGORY(lcPlayer, "melodrift.player", QtWarningMsg)

namespace {

// What qCDebug does, without the empty macro argument that -Wpedantic names.
QDebug rescueLog()
{
    return QMessageLogger(nullptr, 0, nullptr, lcPlayer().categoryName()).debug(lcPlayer());
}

// How long a source may sit in the stopped state after play() before it
// counts as unplayable. GStreamer's back end stops without any error on a
// missing file, a dead URL or undecodable bytes; every playable source
// leaves the stopped state (or reports buffering) well within this.
const int stallTimeoutMs = 8000;

// How often the clock is read while a pause shows or the clock stands.
const int clockIntervalMs = 500;

// How long a playing source's clock may go without moving before it is read
// on the timer. Each tick of the media object that moves the clock puts the
// check off; GStreamer's back end moves it about three times a second, VLC's
// about every 1.7 s for audio. Within this of the end, where the GStreamer
// back end may hold the end back, the clock is read twice a second once it
// stands.
const int quietClockMs = 2500;

} // namespace

PlaybackCorrector::PlaybackCorrector(Phonon::MediaObject &mediaObject, QObject *parent)
    : QObject(parent)
    , media(mediaObject)
    , shown(mediaObject.state())
{
    monotonic.start();
    stallTimer.setSingleShot(true);
    stallTimer.setInterval(stallTimeoutMs);
    connect(&stallTimer, &QTimer::timeout, this, [this] {
        if (media.state() == Phonon::StoppedState && !sourceStarted)
            giveUp();
    });
    connect(&clockTimer, &QTimer::timeout, this, [this] {
        clockTimer.start(clockIntervalMs);
        checkClock();
    });
    endTimer.setSingleShot(true);
    endTimer.setInterval(0);
    connect(&endTimer, &QTimer::timeout, this, &PlaybackCorrector::ended);

    connect(&media, &Phonon::MediaObject::stateChanged, this, &PlaybackCorrector::mediaStateChanged);
    connect(&media, &Phonon::MediaObject::finished, this, &PlaybackCorrector::mediaFinished);
    connect(&media, &Phonon::MediaObject::bufferStatus, this, &PlaybackCorrector::bufferNews);
    connect(&media, &Phonon::MediaObject::tick, this, &PlaybackCorrector::tick);
    connect(&media, &Phonon::MediaObject::hasVideoChanged, this, &PlaybackCorrector::hasVideoChanged);
    // A source that the queue brings in gets its own retry.
    connect(&media, &Phonon::MediaObject::currentSourceChanged, this, [this](const Phonon::MediaSource &source) {
        if (!(source == retriedSource))
            retriedSource = Phonon::MediaSource();
        failureText.clear();
    });
}

void PlaybackCorrector::start(const Phonon::MediaSource &source)
{
    GStreamerTuning::demoteWebKitSource();
    GStreamerTuning::downloadNetworkMedia();
    retriedSource = Phonon::MediaSource();
    failureText.clear();
    sourceStarted = false;
    setUpAt = -1;
    ++starts;
    media.setCurrentSource(source);
    playWhenLoaded();
    stallTimer.start();
    emit sourceOpened();
}

void PlaybackCorrector::start(const QList<Phonon::MediaSource> &sources)
{
    media.clearQueue();
    if (sources.isEmpty())
        return;
    start(sources.first());
    media.enqueue(sources.mid(1));
}

void PlaybackCorrector::play()
{
    playMedia();
}

void PlaybackCorrector::pause()
{
    pauseAsked = true;
    setUpAt = -1;
    const GStreamerTuning::PlayerCall call;
    media.pause();
}

// The requests that may set up a source on the GStreamer back end go
// through here, so that the download hook knows the player's pipeline.
void PlaybackCorrector::playMedia()
{
    const GStreamerTuning::PlayerCall call;
    media.play();
}

void PlaybackCorrector::stop()
{
    playPending = false;
    setUpAt = -1;
    stallTimer.stop();
    // A back end may still announce the end of a source it was told to
    // stop, and an end not yet announced is not one any more.
    sourceStarted = false;
    endTimer.stop();
    media.stop();
}

void PlaybackCorrector::playWhenLoaded()
{
    // The GStreamer back end loses or undoes a play() that arrives while the
    // new source is still loading: the source then stops again at once.
    if (media.state() == Phonon::LoadingState)
        playPending = true;
    else
        playMedia();
}

// Phonon's GStreamer back end can deliver a state change after the one that
// followed it: Stopped to Paused arrives after Paused to Playing while the
// media play on, and the media object then reports a pause that never
// happened.
bool PlaybackCorrector::isLateReport(Phonon::State newstate, Phonon::State oldstate) const
{
    return oldstate != shown && shown == Phonon::PlayingState && newstate == Phonon::PausedState;
}

void PlaybackCorrector::mediaStateChanged(Phonon::State newstate, Phonon::State oldstate)
{
    if (isSetUpReport(newstate))
        return;
    if (isLateReport(newstate, oldstate)) {
        // The player goes on showing playback, and the clock tells whether
        // the media do play. The back end is not asked to play again: it
        // comes at the start of a song, when a song read through at once
        // has the back end wait in its "about to finish" handling, and a
        // play() from the pause it believes in makes it give up the wait
        // and take the end of the stream at once, with nothing played.
        rescueLog() << "late report left out:" << oldstate << "to" << newstate;
        watchPausedClock();
        return;
    }

    switch (newstate) {
    case Phonon::PausedState:
        stallTimer.stop();
        watchPausedClock();
        break;
    case Phonon::PlayingState:
        startedPlaying(pauseAsked && oldstate == Phonon::PausedState);
        pauseAsked = false;
        break;
    default:
        pauseAsked = false;
        clockTimer.stop();
        break;
    }
    // What the player does on a report may start another source (the page
    // answers a failure by playing its next item); the rest of this report
    // is not that source's.
    const int startsBefore = starts;
    show(newstate, shown);
    if (newstate == Phonon::ErrorState && starts == startsBefore)
        handleError();
    if (starts != startsBefore)
        return;

    if (playPending && newstate != Phonon::LoadingState) {
        playPending = false;
        if (newstate == Phonon::StoppedState || newstate == Phonon::PausedState)
            playMedia();
    }
}

void PlaybackCorrector::show(Phonon::State newstate, Phonon::State oldstate)
{
    shown = newstate;
    if (newstate != oldstate)
        emit stateChanged(newstate, oldstate);
}

void PlaybackCorrector::startedPlaying(bool resumed)
{
    stallTimer.stop();
    sourceStarted = true;
    // VLC does not always announce that a new source has no video, which
    // would leave an empty video area where the information belongs.
    emit hasVideoChanged(media.hasVideo());
    watchPlayingClock(resumed);
}

void PlaybackCorrector::handleError()
{
    stallTimer.stop();
    const Phonon::MediaSource source = media.currentSource();
    if (media.errorType() == Phonon::FatalError || source == retriedSource) {
        giveUp();
        return;
    }
    // One more attempt only: a source that fails again is not coming back.
    retriedSource = source;
    qDebug() << media.errorString();
    playMedia();
}

void PlaybackCorrector::giveUp()
{
    stallTimer.stop();
    failureText = media.errorString();
    if (failureText.isEmpty()) {
        failureText = QCoreApplication::translate("MediaPlayer", "The location %1 could not be played.")
                          .arg(MediaText::sourceName(media.currentSource()));
    }
    emit failed(failureText);
}

// The end is judged when the back end announces it, for the source that
// ended, and announced once the back end has returned: the page answers an
// end by starting its next item in this same player, and Phonon's GStreamer
// back end announces the end from inside its own end-of-stream handling.
void PlaybackCorrector::mediaFinished()
{
    // VLC announces the end of a source that never opened before reporting
    // the error; only media that actually played have reached their end.
    if (sourceStarted)
        endTimer.start();
}

void PlaybackCorrector::bufferNews(int percent)
{
    clockWatch.bufferNews(monotonic.elapsed());
    // Data arriving means the source is alive, however slowly.
    if (percent > 0 && stallTimer.isActive())
        stallTimer.start();
}

void PlaybackCorrector::watchPausedClock()
{
    clockWatch.startPause(media.currentTime(), monotonic.elapsed());
    clockTimer.start(clockIntervalMs);
}

void PlaybackCorrector::watchPlayingClock(bool resumed)
{
    clockWatch.startPlaying(resumed);
    lastTick = -1;
    awaitClockMoving(media.currentTime());
}

void PlaybackCorrector::awaitClockMoving(qint64 clock)
{
    const qint64 total = media.totalTime();
    clockTimer.start(total > 0 && total - clock <= quietClockMs ? clockIntervalMs : quietClockMs);
}

// While media play, the clock is judged on the media object's ticks; the
// timer only fires when no tick has moved the clock for a while.
void PlaybackCorrector::tick(qint64 time)
{
    if (shown != Phonon::PlayingState || media.state() != Phonon::PlayingState)
        return;
    const bool moved = time != lastTick;
    lastTick = time;
    checkClock();
    if (moved && clockTimer.isActive())
        awaitClockMoving(time);
}

void PlaybackCorrector::checkClock()
{
    const qint64 now = media.currentTime();
    ClockWatch::Verdict verdict;
    if (shown == Phonon::PausedState || media.state() == Phonon::PausedState) {
        verdict = clockWatch.readPaused(now, pauseAsked, monotonic.elapsed());
    } else if (shown == Phonon::PlayingState) {
        verdict = clockWatch.readPlaying(now, media.totalTime(), media.state() == Phonon::PlayingState,
                                         media.queue().isEmpty(), monotonic.elapsed());
    } else {
        clockTimer.stop();
        return;
    }

    switch (verdict) {
    case ClockWatch::Nothing:
        break;
    case ClockWatch::ClockRuns:
        if (shown == Phonon::PausedState) {
            startedPlaying();
            show(Phonon::PlayingState, Phonon::PausedState);
        }
        break;
    case ClockWatch::Stranded:
        prerollAgain(now);
        break;
    case ClockWatch::EndHeld:
        endHeldSource();
        break;
    case ClockWatch::ResumeLost:
        setUpAgain(clockWatch.resumePoint());
        break;
    }
}

// play() alone does not move a pipeline that stands with playing as its
// target; a seek to where it stands makes it preroll and play again.
void PlaybackCorrector::prerollAgain(qint64 position)
{
    rescueLog() << "stranded" << (media.state() == Phonon::PlayingState ? "playing" : "in a pause") << "at" << position
                << "of" << media.totalTime() << "ms, prerolling again:" << media.currentSource().url();
    media.seek(position);
    playMedia();
}

// A stop and a play set the pipeline up again; the stop, the preroll and the
// seek are the rescue's own and not shown: the player goes on showing
// playback.
void PlaybackCorrector::setUpAgain(qint64 position)
{
    rescueLog() << "stranded after a pause, at" << media.currentTime() << "; setting up again to play on from"
                << position << "ms:" << media.currentSource().url();
    clockTimer.stop();
    setUpAt = position;
    media.stop();
    playMedia();
}

bool PlaybackCorrector::isSetUpReport(Phonon::State newstate)
{
    if (setUpAt < 0)
        return false;
    if (newstate != Phonon::PlayingState && newstate != Phonon::ErrorState)
        return true;
    if (newstate == Phonon::PlayingState) {
        // Seeking is left until the back end has returned from its report,
        // and to the source set up.
        QTimer::singleShot(0, this, [this, position = setUpAt, startsThen = starts] {
            if (starts == startsThen)
                media.seek(position);
        });
    }
    setUpAt = -1;
    return false;
}

void PlaybackCorrector::endHeldSource()
{
    rescueLog() << "end held back, ending:" << media.currentSource().url();
    clockTimer.stop();
    // Stopping makes the back end give up its wait and drop the end it held;
    // should it report the end after all, that is not a second end.
    media.stop();
    mediaFinished();
    sourceStarted = false;
}
