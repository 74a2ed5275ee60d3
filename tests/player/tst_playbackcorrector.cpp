#include "playbackcorrector.h"
#include "testenvironment.h"
#include "testmedia.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <phonon/AudioOutput>
#include <phonon/MediaObject>

#include <memory>

namespace {
const int playTimeout = 20000;

Phonon::MediaSource fileSource(const QString &path)
{
    return Phonon::MediaSource(QUrl::fromLocalFile(path));
}

// Counts the timer events of an object's children.
class WakeCounter : public QObject
{
public:
    explicit WakeCounter(QObject *owner) : owner(owner) { qApp->installEventFilter(this); }
    int wakes = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Timer && watched->parent() == owner)
            ++wakes;
        return false;
    }

private:
    QObject *owner;
};
} // namespace

enum class BeforeTheEndArrives { NextStarts, NextShowsPlaying, Stopped };
Q_DECLARE_METATYPE(BeforeTheEndArrives)

// The corrections on a media object of their own, with no player window, under
// the back end chosen by PHONON_BACKEND. Each case is a fault of a back end,
// brought about on purpose or emitted as the back end would.
class PlaybackCorrectorTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void lateStateReportLeavesPlaybackAlone();
    void runningClockOverridesAReportedPause();
    void shortSongAfterALongOneEndsOnTime();
    void undecodableBytesEndPlayback();
    void sourceStartedWhileAReportIsHandledPlays_data();
    void sourceStartedWhileAReportIsHandledPlays();
    void endBelongsToTheSourceThatEnded_data();
    void endBelongsToTheSourceThatEnded();
    void nothingOfItsOwnWakesWhileMediaPlay();

private:
    QTemporaryDir dir;
    QString song;
    QString longSong;
    QString noise;
    std::unique_ptr<Phonon::MediaObject> media;
    std::unique_ptr<Phonon::AudioOutput> output;
    std::unique_ptr<PlaybackCorrector> corrector;
    QStringList failures;
    int ends = 0;

    bool waitForShown(Phonon::State state, int timeout = playTimeout);
};

void PlaybackCorrectorTest::initTestCase()
{
    QVERIFY(dir.isValid());
    song = TestMedia::song(dir.path(), QStringLiteral("song.ogg"), 2);
    // Long enough that nothing moves on by itself while a test looks.
    longSong = TestMedia::song(dir.path(), QStringLiteral("long.ogg"), 30);
    noise = TestMedia::noise(dir.path(), QStringLiteral("noise.ogg"));
    QVERIFY(!song.isEmpty() && !longSong.isEmpty() && !noise.isEmpty());
}

void PlaybackCorrectorTest::init()
{
    media = std::make_unique<Phonon::MediaObject>();
    output = std::make_unique<Phonon::AudioOutput>(Phonon::VideoCategory);
    Phonon::createPath(media.get(), output.get());
    // As often as the player's seek slider has it tick.
    media->setTickInterval(350);
    corrector = std::make_unique<PlaybackCorrector>(*media);
    failures.clear();
    ends = 0;
    connect(corrector.get(), &PlaybackCorrector::failed, this, [this](const QString &text) { failures << text; });
    connect(corrector.get(), &PlaybackCorrector::ended, this, [this] { ++ends; });
}

void PlaybackCorrectorTest::cleanup()
{
    // Stopped and given time to settle, the back end has nothing left in
    // flight for a media object about to go.
    corrector->stop();
    (void)QTest::qWaitFor([this] { return media->state() == Phonon::StoppedState; }, 5000);
    QTest::qWait(250);
    corrector.reset();
    output.reset();
    media.reset();
}

bool PlaybackCorrectorTest::waitForShown(Phonon::State state, int timeout)
{
    if (QTest::qWaitFor([&] { return corrector->state() == state; }, timeout))
        return true;
    qWarning() << "waited" << timeout << "ms for" << state << "; the corrector shows" << corrector->state()
               << "and the back end stands" << media->state() << "at" << media->currentTime() << "of"
               << media->totalTime() << "ms";
    return false;
}

// The GStreamer back end can deliver Stopped to Paused after Paused to
// Playing, while the media play on. Such a report is emitted here as the back
// end would; it must not show as a pause.
void PlaybackCorrectorTest::lateStateReportLeavesPlaybackAlone()
{
    corrector->start(fileSource(song));
    QVERIFY(waitForShown(Phonon::PlayingState));

    emit media->stateChanged(Phonon::PausedState, Phonon::StoppedState);
    QCOMPARE(corrector->state(), Phonon::PlayingState);
    QTest::qWait(300);
    QCOMPARE(media->state(), Phonon::PlayingState);
    QCOMPARE(corrector->state(), Phonon::PlayingState);

    // A pause that did happen still shows as one.
    media->pause();
    QVERIFY(waitForShown(Phonon::PausedState, 5000));
    QTest::qWait(300);
    QCOMPARE(media->state(), Phonon::PausedState);
    QVERIFY(failures.isEmpty());
}

// The GStreamer back end can report a pause and then nothing more while the
// media play on. Such a report is emitted here as the back end would; playback
// must show again once the clock runs on.
void PlaybackCorrectorTest::runningClockOverridesAReportedPause()
{
    corrector->start(fileSource(longSong));
    QVERIFY(waitForShown(Phonon::PlayingState));

    emit media->stateChanged(Phonon::PausedState, Phonon::PlayingState);
    QCOMPARE(corrector->state(), Phonon::PausedState);
    QVERIFY(waitForShown(Phonon::PlayingState, 3000));

    // A pause that nobody asked for and no buffering explains is played on
    // from, as when the back end pauses for a stale buffering message.
    // Playing on must go on from where the media stood, not from the start.
    media->pause();
    QVERIFY(waitForShown(Phonon::PausedState, 5000));
    const qint64 pausedAt = media->currentTime();
    QVERIFY(pausedAt > 0);
    QVERIFY(waitForShown(Phonon::PlayingState, 6000));
    QTRY_COMPARE_WITH_TIMEOUT(media->state(), Phonon::PlayingState, 5000);
    QVERIFY2(media->currentTime() >= pausedAt - 100,
             qPrintable(QStringLiteral("%1 ms after a pause at %2 ms").arg(media->currentTime()).arg(pausedAt)));

    // A pause asked for holds.
    corrector->pause();
    QVERIFY(waitForShown(Phonon::PausedState, 5000));
    QTest::qWait(3000);
    QCOMPARE(corrector->state(), Phonon::PausedState);
    QCOMPARE(media->state(), Phonon::PausedState);
    QVERIFY(failures.isEmpty());
}

// A short song that replaces a long one right after a rewind is read through
// before the GStreamer back end has heard of its length (the GUI thread is
// kept busy just then, as under load). It must still end when it ends, not
// when the long song it replaced would have.
void PlaybackCorrectorTest::shortSongAfterALongOneEndsOnTime()
{
    corrector->start(fileSource(longSong));
    QVERIFY(waitForShown(Phonon::PlayingState));
    QTRY_VERIFY_WITH_TIMEOUT(media->currentTime() > 1000 && media->isSeekable(), playTimeout);
    media->seek(0);
    QTRY_VERIFY_WITH_TIMEOUT(media->currentTime() < 500, 5000);

    QElapsedTimer clock;
    clock.start();
    corrector->start(fileSource(song));
    QThread::msleep(700);
    QTRY_COMPARE_WITH_TIMEOUT(ends, 1, playTimeout);
    QVERIFY2(clock.elapsed() < 9000, qPrintable(QStringLiteral("a 2 s song ended after %1 ms").arg(clock.elapsed())));
    QVERIFY(waitForShown(Phonon::StoppedState));
    QTest::qWait(1000);
    QCOMPARE(ends, 1);
    QVERIFY(failures.isEmpty());
}

void PlaybackCorrectorTest::undecodableBytesEndPlayback()
{
    // VLC "plays" random bytes to an empty end; GStreamer stops without a
    // word. Either way the source must be let go of exactly once.
    corrector->start(fileSource(noise));
    QVERIFY2(QTest::qWaitFor([&] { return ends + failures.size() > 0; }, 30000),
             qPrintable(QStringLiteral("no end and no failure; shows %1, the back end %2 at %3 of %4 ms")
                            .arg(corrector->state())
                            .arg(media->state())
                            .arg(media->currentTime())
                            .arg(media->totalTime())));
    QTest::qWait(2000);
    QCOMPARE(ends + failures.size(), 1);
    if (!failures.isEmpty())
        QVERIFY2(failures.first().contains("noise.ogg"), qPrintable(failures.first()));
}

void PlaybackCorrectorTest::sourceStartedWhileAReportIsHandledPlays_data()
{
    QTest::addColumn<Phonon::State>("report");
    QTest::addColumn<bool>("fromFailure");
    // VLC reports an unplayable source as an error that is not fatal, and
    // again after the retry; the player's box then runs its own event loop,
    // and the page answers done() with its next item in the same player.
    QTest::newRow("a source given up") << Phonon::ErrorState << true;
    // The player processes pending events while it shows a state.
    QTest::newRow("a state shown") << Phonon::BufferingState << false;
    QTest::newRow("an error shown") << Phonon::ErrorState << false;
}

// The next source is started from within the handling of the last report of
// the one before. That report must act on neither the new source's play nor
// its one retry.
void PlaybackCorrectorTest::sourceStartedWhileAReportIsHandledPlays()
{
    QFETCH(Phonon::State, report);
    QFETCH(bool, fromFailure);
    corrector->start(fileSource(longSong));
    QVERIFY(waitForShown(Phonon::PlayingState));

    QObject handler;
    bool started = false;
    auto startNext = [&] {
        if (!started) {
            started = true;
            corrector->start(fileSource(song));
        }
    };
    if (fromFailure)
        connect(corrector.get(), &PlaybackCorrector::failed, &handler, startNext);
    else
        connect(corrector.get(), &PlaybackCorrector::stateChanged, &handler, startNext);
    emit media->stateChanged(report, Phonon::PlayingState);
    if (fromFailure)
        emit media->stateChanged(report, Phonon::PlayingState);
    QVERIFY(started);
    QCOMPARE(media->currentSource().url(), QUrl::fromLocalFile(song));
    QVERIFY(waitForShown(Phonon::PlayingState, 6000));
    QCOMPARE(failures.size(), fromFailure ? 1 : 0);

    emit media->stateChanged(Phonon::ErrorState, Phonon::PlayingState);
    QCOMPARE(failures.size(), fromFailure ? 1 : 0);
}

void PlaybackCorrectorTest::endBelongsToTheSourceThatEnded_data()
{
    QTest::addColumn<bool>("played");
    QTest::addColumn<BeforeTheEndArrives>("meanwhile");
    QTest::addColumn<int>("expectedEnds");
    QTest::newRow("a song that played") << true << BeforeTheEndArrives::NextStarts << 1;
    // VLC announces the end of a source that never opened.
    QTest::newRow("a source that never played") << false << BeforeTheEndArrives::NextShowsPlaying << 0;
    QTest::newRow("a song stopped") << true << BeforeTheEndArrives::Stopped << 0;
}

// The back end's end reaches the corrections only after the back end has
// returned from it. Whatever happened in between, the end is judged for the
// source that ended. The end is emitted here as the back end would.
void PlaybackCorrectorTest::endBelongsToTheSourceThatEnded()
{
    QFETCH(bool, played);
    QFETCH(BeforeTheEndArrives, meanwhile);
    QFETCH(int, expectedEnds);
    corrector->start(fileSource(played ? song : QDir(dir.path()).absoluteFilePath("missing.ogg")));
    if (played)
        QVERIFY(waitForShown(Phonon::PlayingState));

    emit media->finished();
    if (meanwhile == BeforeTheEndArrives::Stopped) {
        corrector->stop();
    } else {
        corrector->start(fileSource(longSong));
        if (meanwhile == BeforeTheEndArrives::NextShowsPlaying)
            emit media->stateChanged(Phonon::PlayingState, Phonon::StoppedState);
    }
    QTest::qWait(1000);
    QCOMPARE(ends, expectedEnds);
}

// While media play normally, the media object's ticks are all that wakes the
// corrections.
void PlaybackCorrectorTest::nothingOfItsOwnWakesWhileMediaPlay()
{
    corrector->start(fileSource(longSong));
    QVERIFY(waitForShown(Phonon::PlayingState));
    QTRY_VERIFY_WITH_TIMEOUT(media->currentTime() > 500, playTimeout);
    WakeCounter counter(corrector.get());
    QTest::qWait(4000);
    QCOMPARE(counter.wakes, 0);
    QCOMPARE(corrector->state(), Phonon::PlayingState);
}

MELODRIFT_TEST_MAIN(PlaybackCorrectorTest)
#include "tst_playbackcorrector.moc"
