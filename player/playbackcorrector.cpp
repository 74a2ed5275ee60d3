#include "playbackcorrector.h"
#include "mediatext.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLoggingCategory>

#include <utility>

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

PlaybackCorrector::PlaybackCorrector(PlaybackPort &backEnd, PlaybackClock &time, QObject *parent)
    : QObject(parent)
    , port(backEnd)
    , clock(time)
    , shown(backEnd.state())
    , stallTimer(time.createTimer(this))
    , clockTimer(time.createTimer(this))
    , endTimer(time.createTimer(this))
    , setUpSeekTimer(time.createTimer(this))
{
    connect(stallTimer, &PlaybackTimer::timeout, this, [this] {
        if (port.state() == Phonon::StoppedState && !sourceStarted)
            giveUp();
    });
    connect(clockTimer, &PlaybackTimer::timeout, this, [this] {
        clockTimer->start(clockIntervalMs);
        checkClock();
    });
    connect(endTimer, &PlaybackTimer::timeout, this, &PlaybackCorrector::ended);
    connect(setUpSeekTimer, &PlaybackTimer::timeout, this, [this] { seek(std::exchange(setUpSeekTo, -1)); });

    connect(&port, &PlaybackPort::stateChanged, this, &PlaybackCorrector::backEndStateChanged);
    connect(&port, &PlaybackPort::finished, this, &PlaybackCorrector::backEndFinished);
    connect(&port, &PlaybackPort::bufferStatus, this, &PlaybackCorrector::bufferNews);
    connect(&port, &PlaybackPort::tick, this, &PlaybackCorrector::tick);
    connect(&port, &PlaybackPort::hasVideoChanged, this, &PlaybackCorrector::hasVideoChanged);
    // A source that the queue brings in gets its own retry.
    connect(&port, &PlaybackPort::currentSourceChanged, this, [this](const Phonon::MediaSource &source) {
        if (!(source == retriedSource))
            retriedSource = Phonon::MediaSource();
        failureText.clear();
    });
}

bool PlaybackCorrector::isIdle() const
{
    return !failureText.isEmpty() || (shown == Phonon::StoppedState && !stallTimer->isActive() && !playPending);
}

qint64 PlaybackCorrector::position() const
{
    const qint64 target = clockWatch.seekTarget();
    return target >= 0 ? target : port.currentTime();
}

void PlaybackCorrector::start(const Phonon::MediaSource &source)
{
    retriedSource = Phonon::MediaSource();
    failureText.clear();
    sourceStarted = false;
    setUpAt = -1;
    setUpSeekTimer->stop();
    clockWatch = ClockWatch();
    ++starts;
    port.setCurrentSource(source);
    playWhenLoaded();
    stallTimer->start(stallTimeoutMs);
    emit sourceOpened();
}

void PlaybackCorrector::start(const QList<Phonon::MediaSource> &sources)
{
    port.clearQueue();
    if (sources.isEmpty())
        return;
    start(sources.first());
    port.enqueue(sources.mid(1));
}

void PlaybackCorrector::play()
{
    port.play();
}

void PlaybackCorrector::pause()
{
    pauseAsked = true;
    setUpAt = -1;
    port.pause();
}

void PlaybackCorrector::stop()
{
    playPending = false;
    setUpAt = -1;
    setUpSeekTimer->stop();
    stallTimer->stop();
    // A back end may still announce the end of a source it was told to
    // stop, and an end not yet announced is not one any more.
    sourceStarted = false;
    endTimer->stop();
    port.stop();
}

void PlaybackCorrector::seek(qint64 position)
{
    // A source being set up again goes on from where the user wants it.
    if (setUpAt >= 0) {
        setUpAt = position;
        return;
    }
    setUpSeekTimer->stop();
    port.seek(position);
    clockWatch.seekTo(position, clock.now());
    lastTick = -1;
    if (clockTimer->isActive() && shown == Phonon::PlayingState && port.state() == Phonon::PlayingState)
        awaitClockMoving(position);
}

void PlaybackCorrector::playWhenLoaded()
{
    // The GStreamer back end loses or undoes a play() that arrives while the
    // new source is still loading: the source then stops again at once.
    if (port.state() == Phonon::LoadingState)
        playPending = true;
    else
        port.play();
}

// Phonon's GStreamer back end can deliver a state change after the one that
// followed it: Stopped to Paused arrives after Paused to Playing while the
// media play on, and the media object then reports a pause that never
// happened.
bool PlaybackCorrector::isLateReport(Phonon::State newstate, Phonon::State oldstate) const
{
    return oldstate != shown && shown == Phonon::PlayingState && newstate == Phonon::PausedState;
}

void PlaybackCorrector::backEndStateChanged(Phonon::State newstate, Phonon::State oldstate)
{
    if (isSetUpReport(newstate))
        return;
    // VLC buffers after a seek in a pause, and reports it; the pause holds.
    if (newstate == Phonon::BufferingState && shown == Phonon::PausedState && pauseAsked)
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
        stallTimer->stop();
        watchPausedClock();
        break;
    case Phonon::PlayingState:
        startedPlaying(pauseAsked && oldstate == Phonon::PausedState);
        pauseAsked = false;
        break;
    default:
        pauseAsked = false;
        clockTimer->stop();
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
            port.play();
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
    stallTimer->stop();
    sourceStarted = true;
    // VLC does not always announce that a new source has no video, which
    // would leave an empty video area where the information belongs.
    emit hasVideoChanged(port.hasVideo());
    watchPlayingClock(resumed);
}

void PlaybackCorrector::handleError()
{
    stallTimer->stop();
    const Phonon::MediaSource source = port.currentSource();
    if (port.errorType() == Phonon::FatalError || source == retriedSource) {
        giveUp();
        return;
    }
    // One more attempt only: a source that fails again is not coming back.
    retriedSource = source;
    qDebug() << port.errorString();
    port.play();
}

void PlaybackCorrector::giveUp()
{
    stallTimer->stop();
    failureText = port.errorString();
    if (failureText.isEmpty()) {
        failureText = QCoreApplication::translate("MediaPlayer", "The location %1 could not be played.")
                          .arg(MediaText::sourceName(port.currentSource()));
    }
    emit failed(failureText);
}

// The end is judged when the back end announces it, for the source that
// ended, and announced once the back end has returned: the page answers an
// end by starting its next item in this same player, and Phonon's GStreamer
// back end announces the end from inside its own end-of-stream handling.
void PlaybackCorrector::backEndFinished()
{
    // VLC announces the end of a source that never opened before reporting
    // the error; only media that actually played have reached their end.
    if (sourceStarted)
        endTimer->start(0);
}

void PlaybackCorrector::bufferNews(int percent)
{
    clockWatch.bufferNews(clock.now());
    // Data arriving means the source is alive, however slowly.
    if (percent > 0 && stallTimer->isActive())
        stallTimer->start(stallTimeoutMs);
}

void PlaybackCorrector::watchPausedClock()
{
    clockWatch.startPause(port.currentTime(), clock.now());
    clockTimer->start(clockIntervalMs);
}

void PlaybackCorrector::watchPlayingClock(bool resumed)
{
    clockWatch.startPlaying(resumed);
    lastTick = -1;
    awaitClockMoving(port.currentTime());
}

void PlaybackCorrector::awaitClockMoving(qint64 at)
{
    const qint64 total = port.totalTime();
    clockTimer->start(total > 0 && total - at <= quietClockMs ? clockIntervalMs : quietClockMs);
}

// While media play, the clock is judged on the back end's ticks; the timer
// only fires when no tick has moved the clock for a while.
void PlaybackCorrector::tick(qint64 time)
{
    if (shown != Phonon::PlayingState || port.state() != Phonon::PlayingState)
        return;
    const bool moved = time != lastTick;
    lastTick = time;
    checkClock();
    if (moved && clockTimer->isActive())
        awaitClockMoving(time);
}

void PlaybackCorrector::checkClock()
{
    const qint64 now = port.currentTime();
    ClockWatch::Verdict verdict;
    if (shown == Phonon::PausedState || port.state() == Phonon::PausedState) {
        verdict = clockWatch.readPaused(now, pauseAsked, clock.now());
    } else if (shown == Phonon::PlayingState) {
        verdict = clockWatch.readPlaying(now, port.totalTime(), port.state() == Phonon::PlayingState,
                                         port.isQueueEmpty(), clock.now());
    } else {
        clockTimer->stop();
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
    rescueLog() << "stranded" << (port.state() == Phonon::PlayingState ? "playing" : "in a pause") << "at" << position
                << "of" << port.totalTime() << "ms, prerolling again:" << port.currentSource().url();
    port.seek(position);
    port.play();
}

// A stop and a play set the pipeline up again; the stop, the preroll and the
// seek are the rescue's own and not shown: the player goes on showing
// playback.
void PlaybackCorrector::setUpAgain(qint64 position)
{
    rescueLog() << "stranded after a pause, at" << port.currentTime() << "; setting up again to play on from"
                << position << "ms:" << port.currentSource().url();
    clockTimer->stop();
    setUpAt = position;
    port.stop();
    port.play();
}

bool PlaybackCorrector::isSetUpReport(Phonon::State newstate)
{
    if (setUpAt < 0)
        return false;
    if (newstate != Phonon::PlayingState && newstate != Phonon::ErrorState)
        return true;
    if (newstate == Phonon::PlayingState) {
        // Seeking is left until the back end has returned from its report.
        setUpSeekTo = setUpAt;
        setUpSeekTimer->start(0);
    }
    setUpAt = -1;
    return false;
}

void PlaybackCorrector::endHeldSource()
{
    rescueLog() << "end held back, ending:" << port.currentSource().url();
    clockTimer->stop();
    // Stopping makes the back end give up its wait and drop the end it held;
    // should it report the end after all, that is not a second end.
    port.stop();
    backEndFinished();
    sourceStarted = false;
}
