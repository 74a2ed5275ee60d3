// The corrections on a back end of the test's own: each case is a fault a
// real back end shows now and then, brought about here at will, with time
// moved by hand. What only real back ends show is in tst_player_mediaplayer.

#include "fakebackend.h"
#include "playbackcorrector.h"

#include <QtTest>

namespace {

Phonon::MediaSource song(const QString &name)
{
    return Phonon::MediaSource(QUrl(QStringLiteral("http://127.0.0.1/") + name));
}

enum class Meanwhile { NextStarts, NextShowsPlaying, Stopped };

} // namespace

Q_DECLARE_METATYPE(Meanwhile)

// The corrector on the fake back end and the hand-moved clock, and what it
// told the player.
struct Rig
{
    FakeBackEnd backEnd;
    ManualClock clock;
    PlaybackCorrector corrector{backEnd, clock};
    QList<Phonon::State> shown;
    QStringList failures;
    int ends = 0;

    Rig()
    {
        QObject::connect(&corrector, &PlaybackCorrector::stateChanged, [this](Phonon::State state) { shown << state; });
        QObject::connect(&corrector, &PlaybackCorrector::failed, [this](const QString &text) { failures << text; });
        QObject::connect(&corrector, &PlaybackCorrector::ended, [this] { ++ends; });
    }

    // A song of `length` ms started and playing at `at` ms, the commands and
    // states of its start forgotten.
    void playing(qint64 at = 1000, qint64 length = 30000)
    {
        corrector.start(song(QStringLiteral("song.ogg")));
        backEnd.report(Phonon::StoppedState);
        backEnd.length = length;
        backEnd.clock = at;
        backEnd.report(Phonon::PlayingState);
        backEnd.takeCommands();
        shown.clear();
    }
    // Time passes while the media play: the clock runs, and the back end
    // ticks every `every` ms.
    void play(qint64 ms, qint64 every = 350)
    {
        for (qint64 passed = 0; passed < ms; passed += every) {
            clock.advance(every);
            backEnd.clock += every;
            emit backEnd.tick(backEnd.clock);
        }
    }
    void pauseAsked()
    {
        corrector.pause();
        backEnd.report(Phonon::PausedState);
        backEnd.takeCommands();
    }
};

class PlaybackCorrectorTest : public QObject
{
    Q_OBJECT

private slots:
    void playAskedWhileLoadingWaitsForTheLoad();
    void lateReportOfAPauseIsLeftOut();
    void pauseNobodyAskedFor_data();
    void pauseNobodyAskedFor();
    void sourceStartedWhileAReportIsHandledPlays_data();
    void sourceStartedWhileAReportIsHandledPlays();
    void endBelongsToTheSourceThatEnded_data();
    void endBelongsToTheSourceThatEnded();
    void silentStopIsGivenUp();
    void errorsGetOneRetryPerSource_data();
    void errorsGetOneRetryPerSource();
    void playingClockThatStands_data();
    void playingClockThatStands();
    void resumeThatNeverRunsIsSetUpAgain_data();
    void resumeThatNeverRunsIsSetUpAgain();
    void seekWhilePausedStaysPaused_data();
    void seekWhilePausedStaysPaused();
    void nothingWakesWhileMediaPlay_data();
    void nothingWakesWhileMediaPlay();
};

// Under GStreamer a play() that arrives while the source loads is lost.
// A source on its way is not idle, though it shows as stopped until the back
// end reports otherwise.
void PlaybackCorrectorTest::playAskedWhileLoadingWaitsForTheLoad()
{
    Rig rig;
    QVERIFY(rig.corrector.isIdle());
    rig.corrector.start(song(QStringLiteral("a.ogg")));
    QCOMPARE(rig.corrector.state(), Phonon::StoppedState);
    QVERIFY(!rig.corrector.isIdle());
    QCOMPARE(rig.backEnd.takeCommands(), QStringList{QStringLiteral("source a.ogg")});
    rig.backEnd.report(Phonon::StoppedState);
    QCOMPARE(rig.backEnd.takeCommands(), QStringList{QStringLiteral("play")});
    QVERIFY(!rig.corrector.isIdle());
    rig.backEnd.report(Phonon::PlayingState);
    QVERIFY(!rig.corrector.isIdle());
    rig.corrector.stop();
    rig.backEnd.report(Phonon::StoppedState);
    QVERIFY(rig.corrector.isIdle());
}

// GStreamer can deliver Stopped to Paused after Paused to Playing while the
// media play on.
void PlaybackCorrectorTest::lateReportOfAPauseIsLeftOut()
{
    Rig rig;
    rig.playing();
    emit rig.backEnd.stateChanged(Phonon::PausedState, Phonon::StoppedState);
    QCOMPARE(rig.corrector.state(), Phonon::PlayingState);
    // Asking the back end to play here made GStreamer drop a song that had
    // just started.
    rig.play(5000);
    QCOMPARE(rig.backEnd.takeCommands(), QStringList());
    QCOMPARE(rig.shown, QList<Phonon::State>());

    // A pause that does happen shows, and holds.
    rig.pauseAsked();
    rig.clock.advance(60000);
    QCOMPARE(rig.shown, QList<Phonon::State>{Phonon::PausedState});
    QCOMPARE(rig.backEnd.takeCommands(), QStringList());
}

void PlaybackCorrectorTest::pauseNobodyAskedFor_data()
{
    QTest::addColumn<bool>("clockRuns");
    QTest::addColumn<int>("bufferingMs"); // buffering news once a second for this long
    QTest::addColumn<QList<Phonon::State>>("shown");
    QTest::addColumn<qint64>("rescuedAfter"); // -1: never within a minute

    // GStreamer pauses for stale buffering messages and then plays on while
    // it reports the pause, or stays paused for good.
    QTest::newRow("the clock runs: playback")
        << true << 0 << QList<Phonon::State>{Phonon::PausedState, Phonon::PlayingState} << qint64(-1);
    QTest::newRow("the clock stands: played on from where it stands after 2 s")
        << false << 0 << QList<Phonon::State>{Phonon::PausedState} << qint64(2000);
    QTest::newRow("data arriving explains the pause, until 2 s after the last news")
        << false << 4000 << QList<Phonon::State>{Phonon::PausedState} << qint64(5000);
}

void PlaybackCorrectorTest::pauseNobodyAskedFor()
{
    QFETCH(bool, clockRuns);
    QFETCH(int, bufferingMs);
    QFETCH(QList<Phonon::State>, shown);
    QFETCH(qint64, rescuedAfter);

    Rig rig;
    rig.playing(4000);
    rig.backEnd.report(Phonon::PausedState);
    qint64 rescued = -1;
    for (qint64 at = 0; at < 60000 && rescued < 0; at += 500) {
        if (at < bufferingMs && at % 1000 == 0)
            emit rig.backEnd.bufferStatus(50);
        if (clockRuns)
            rig.backEnd.clock += 500;
        rig.clock.advance(500);
        if (!rig.backEnd.takeCommands().isEmpty())
            rescued = at + 500;
    }
    QCOMPARE(rig.shown, shown);
    QCOMPARE(rescued, rescuedAfter);
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
    QTest::newRow("a stop shown") << Phonon::StoppedState << false;
    QTest::newRow("an error shown") << Phonon::ErrorState << false;
}

// The next source is started from within the handling of the last report of
// the one before. That report must act on neither the new source's play nor
// its one retry.
void PlaybackCorrectorTest::sourceStartedWhileAReportIsHandledPlays()
{
    QFETCH(Phonon::State, report);
    QFETCH(bool, fromFailure);
    Rig rig;
    rig.playing();

    QObject handler;
    bool started = false;
    auto startNext = [&] {
        if (!std::exchange(started, true))
            rig.corrector.start(song(QStringLiteral("next.ogg")));
    };
    if (fromFailure)
        QObject::connect(&rig.corrector, &PlaybackCorrector::failed, &handler, startNext);
    else
        QObject::connect(&rig.corrector, &PlaybackCorrector::stateChanged, &handler, startNext);
    if (fromFailure) {
        rig.backEnd.fail(Phonon::NormalError);
        QCOMPARE(rig.backEnd.takeCommands(), QStringList{QStringLiteral("play")});
        rig.backEnd.fail(Phonon::NormalError);
    } else {
        rig.backEnd.report(report);
    }
    QVERIFY(started);
    // The new source plays once it has loaded, and has its retry.
    QCOMPARE(rig.backEnd.takeCommands(), QStringList{QStringLiteral("source next.ogg")});
    rig.backEnd.report(Phonon::StoppedState);
    QCOMPARE(rig.backEnd.takeCommands(), QStringList{QStringLiteral("play")});
    QCOMPARE(rig.failures.size(), fromFailure ? 1 : 0);
    rig.backEnd.report(Phonon::PlayingState);
    rig.backEnd.fail(Phonon::NormalError);
    QCOMPARE(rig.backEnd.takeCommands(), QStringList{QStringLiteral("play")});
    QCOMPARE(rig.failures.size(), fromFailure ? 1 : 0);
}

void PlaybackCorrectorTest::endBelongsToTheSourceThatEnded_data()
{
    QTest::addColumn<bool>("played");
    QTest::addColumn<Meanwhile>("meanwhile");
    QTest::addColumn<int>("ends");
    QTest::newRow("a song that played") << true << Meanwhile::NextStarts << 1;
    // VLC announces the end of a source that never opened.
    QTest::newRow("a source that never played") << false << Meanwhile::NextShowsPlaying << 0;
    QTest::newRow("a song stopped") << true << Meanwhile::Stopped << 0;
}

// The back end's end is announced once the back end has returned from it
// (GStreamer's announces it from inside its end-of-stream handling), and
// judged for the source that ended, whatever happened in between.
void PlaybackCorrectorTest::endBelongsToTheSourceThatEnded()
{
    QFETCH(bool, played);
    QFETCH(Meanwhile, meanwhile);
    QFETCH(int, ends);
    Rig rig;
    if (played)
        rig.playing();
    else
        rig.corrector.start(song(QStringLiteral("missing.ogg")));

    emit rig.backEnd.finished();
    QCOMPARE(rig.ends, 0);
    if (meanwhile == Meanwhile::Stopped) {
        rig.corrector.stop();
    } else {
        rig.corrector.start(song(QStringLiteral("next.ogg")));
        if (meanwhile == Meanwhile::NextShowsPlaying)
            rig.backEnd.report(Phonon::PlayingState);
    }
    rig.clock.advance(0);
    rig.clock.advance(10000);
    QCOMPARE(rig.ends, ends);
}

// GStreamer stops without a word on a missing file, a dead URL or bytes it
// cannot decode.
void PlaybackCorrectorTest::silentStopIsGivenUp()
{
    Rig rig;
    rig.corrector.start(song(QStringLiteral("gone.ogg")));
    rig.backEnd.report(Phonon::StoppedState);
    rig.clock.advance(6000);
    // Data arriving, however slowly, means the source is alive.
    emit rig.backEnd.bufferStatus(10);
    rig.clock.advance(7999);
    QVERIFY(rig.failures.isEmpty());
    QVERIFY(!rig.corrector.isIdle());
    rig.clock.advance(1);
    QCOMPARE(rig.failures, QStringList{QStringLiteral("The location http://127.0.0.1/gone.ogg could not be played.")});
    QVERIFY(rig.corrector.isIdle());
    rig.clock.advance(60000);
    QCOMPARE(rig.failures.size(), 1);
}

void PlaybackCorrectorTest::errorsGetOneRetryPerSource_data()
{
    QTest::addColumn<Phonon::ErrorType>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("failure");

    // VLC reports a missing file or a 404 as an error that is not fatal,
    // with no text, and again after the retry.
    QTest::newRow("not fatal, no text: retried, then given up by name")
        << Phonon::NormalError << QString()
        << QStringLiteral("The location http://127.0.0.1/song.ogg could not be played.");
    QTest::newRow("not fatal, with the back end's text")
        << Phonon::NormalError << QStringLiteral("Not found") << QStringLiteral("Not found");
    QTest::newRow("fatal: given up at once")
        << Phonon::FatalError << QStringLiteral("Broken") << QStringLiteral("Broken");
}

void PlaybackCorrectorTest::errorsGetOneRetryPerSource()
{
    QFETCH(Phonon::ErrorType, type);
    QFETCH(QString, text);
    QFETCH(QString, failure);
    Rig rig;
    rig.playing();

    rig.backEnd.fail(type, text);
    if (type != Phonon::FatalError) {
        QCOMPARE(rig.backEnd.takeCommands(), QStringList{QStringLiteral("play")});
        QVERIFY(rig.failures.isEmpty());
        rig.backEnd.fail(type, text);
    }
    QCOMPARE(rig.failures, QStringList{failure});
    QCOMPARE(rig.corrector.failure(), failure);
    QCOMPARE(rig.backEnd.takeCommands(), QStringList());

    // A source the queue brings in is not the one given up, and has a retry
    // of its own.
    rig.backEnd.source = song(QStringLiteral("queued.ogg"));
    emit rig.backEnd.currentSourceChanged(rig.backEnd.source);
    QCOMPARE(rig.corrector.failure(), QString());
    rig.backEnd.fail(Phonon::NormalError);
    QCOMPARE(rig.backEnd.takeCommands(), QStringList{QStringLiteral("play")});
    QCOMPARE(rig.failures.size(), 1);
}

void PlaybackCorrectorTest::playingClockThatStands_data()
{
    QTest::addColumn<qint64>("at");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<QStringList>("rescue");
    QTest::addColumn<int>("ends");

    // A short song read through at once, whose "about to finish" wait ran
    // out while GStreamer went to playing: the clock never leaves 0.
    QTest::newRow("stuck at the start: a seek to where it stands and play")
        << qint64(0) << qint64(3000) << QStringList{QStringLiteral("seek 0"), QStringLiteral("play")} << 0;
    // GStreamer held back the end of a short song for as long as the long
    // one it replaced had left.
    QTest::newRow("standing at its end: stopped and ended")
        << qint64(2900) << qint64(3000) << QStringList{QStringLiteral("stop")} << 1;
}

void PlaybackCorrectorTest::playingClockThatStands()
{
    QFETCH(qint64, at);
    QFETCH(qint64, length);
    QFETCH(QStringList, rescue);
    QFETCH(int, ends);
    Rig rig;
    rig.playing(at, length);
    rig.clock.advance(length + 10000);
    QCOMPARE(rig.backEnd.takeCommands(), rescue);
    QCOMPARE(rig.ends, ends);
    QVERIFY(rig.failures.isEmpty());
}

void PlaybackCorrectorTest::resumeThatNeverRunsIsSetUpAgain_data()
{
    QTest::addColumn<qint64>("standsAt");
    // GStreamer under load: the resumed clock falls to 0 or stays where the
    // pause was, ticking on there, and neither play() nor a seek moves it.
    QTest::newRow("fallen to 0") << qint64(0);
    QTest::newRow("where the pause was") << qint64(4000);
}

void PlaybackCorrectorTest::resumeThatNeverRunsIsSetUpAgain()
{
    QFETCH(qint64, standsAt);
    Rig rig;
    rig.playing(4000);
    rig.pauseAsked();
    rig.corrector.play();
    rig.backEnd.report(Phonon::PlayingState);
    rig.backEnd.clock = standsAt;
    for (int i = 0; i < 12; ++i) {
        rig.clock.advance(350);
        emit rig.backEnd.tick(standsAt);
    }
    QCOMPARE(rig.backEnd.takeCommands(),
             (QStringList{QStringLiteral("play"), QStringLiteral("stop"), QStringLiteral("play")}));

    // The set-up is the rescue's own: none of it shows, and once the back
    // end plays again it goes on from where the pause was.
    for (Phonon::State state : {Phonon::StoppedState, Phonon::LoadingState, Phonon::PausedState})
        rig.backEnd.report(state);
    rig.backEnd.report(Phonon::PlayingState);
    QCOMPARE(rig.backEnd.takeCommands(), QStringList());
    rig.clock.advance(0);
    QCOMPARE(rig.backEnd.takeCommands(), QStringList{QStringLiteral("seek 4000")});
    QCOMPARE(rig.shown, (QList<Phonon::State>{Phonon::PausedState, Phonon::PlayingState}));
}

void PlaybackCorrectorTest::seekWhilePausedStaysPaused_data()
{
    QTest::addColumn<qint64>("target");
    QTest::addColumn<int>("lagMs"); // how long the back end reports the clock from before the seek
    QTest::addColumn<bool>("buffers");
    QTest::addColumn<bool>("resumeRuns");

    // Paused at 1790 of 30 s, as the desktop's `playerctl position 6+` did.
    QTest::newRow("6 s on") << qint64(7790) << 0 << false << true;
    QTest::newRow("300 ms on") << qint64(2090) << 0 << false << true;
    // GStreamer reads 0 for a moment.
    QTest::newRow("6 s on, the back end there a second later") << qint64(7790) << 1000 << false << true;
    QTest::newRow("6 s on, the back end buffering there (VLC)") << qint64(7790) << 0 << true << true;
    QTest::newRow("back to the start") << qint64(0) << 0 << false << true;
    QTest::newRow("6 s on, and the resume never runs") << qint64(7790) << 0 << false << false;
}

// A seek moves the clock by itself: that is neither playback in a pause nor
// the place to go back to when a resume is rescued.
void PlaybackCorrectorTest::seekWhilePausedStaysPaused()
{
    QFETCH(qint64, target);
    QFETCH(int, lagMs);
    QFETCH(bool, buffers);
    QFETCH(bool, resumeRuns);
    Rig rig;
    rig.playing(1790);
    rig.pauseAsked();
    rig.clock.advance(1000);

    rig.corrector.seek(target);
    QCOMPARE(rig.backEnd.takeCommands(), QStringList{QStringLiteral("seek %1").arg(target)});
    QCOMPARE(rig.corrector.position(), target);
    if (buffers)
        rig.backEnd.report(Phonon::BufferingState);
    rig.clock.advance(lagMs);
    rig.backEnd.clock = target;
    if (buffers)
        rig.backEnd.report(Phonon::PausedState);
    rig.clock.advance(10000);
    QCOMPARE(rig.corrector.state(), Phonon::PausedState);
    QCOMPARE(rig.shown, QList<Phonon::State>{Phonon::PausedState});
    QCOMPARE(rig.corrector.position(), target);
    QCOMPARE(rig.backEnd.takeCommands(), QStringList());

    rig.corrector.play();
    rig.backEnd.report(Phonon::PlayingState);
    QCOMPARE(rig.shown, (QList<Phonon::State>{Phonon::PausedState, Phonon::PlayingState}));
    if (resumeRuns) {
        rig.play(5000);
        QCOMPARE(rig.backEnd.takeCommands(), QStringList{QStringLiteral("play")});
        QVERIFY(rig.corrector.position() > target);
        return;
    }
    rig.clock.advance(6000);
    QCOMPARE(rig.backEnd.takeCommands(),
             (QStringList{QStringLiteral("play"), QStringLiteral("stop"), QStringLiteral("play")}));
    rig.backEnd.report(Phonon::PlayingState);
    rig.clock.advance(0);
    QCOMPARE(rig.backEnd.takeCommands(), QStringList{QStringLiteral("seek %1").arg(target)});
}

void PlaybackCorrectorTest::nothingWakesWhileMediaPlay_data()
{
    QTest::addColumn<qint64>("tickMs");
    QTest::newRow("GStreamer ticks as asked") << qint64(350);
    QTest::newRow("VLC ticks audio every 1.7 s") << qint64(1700);
}

// While media play normally, the back end's ticks are all that wakes the
// corrections.
void PlaybackCorrectorTest::nothingWakesWhileMediaPlay()
{
    QFETCH(qint64, tickMs);
    Rig rig;
    rig.playing(0, 600000);
    rig.play(60000, tickMs);
    QCOMPARE(rig.clock.fired, 0);
    QCOMPARE(rig.backEnd.takeCommands(), QStringList());
    QCOMPARE(rig.corrector.state(), Phonon::PlayingState);
}

QTEST_GUILESS_MAIN(PlaybackCorrectorTest)

#include "tst_playbackcorrector.moc"
