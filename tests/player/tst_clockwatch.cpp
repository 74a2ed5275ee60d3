#include "clockwatch.h"

#include <QtTest>

#include <functional>

Q_DECLARE_METATYPE(ClockWatch::Verdict)

namespace {

const qint64 interval = 500; // as often as the player reads the clock

struct Judgement
{
    qint64 at = -1;
    ClockWatch::Verdict verdict = ClockWatch::Nothing;
};

// Reads every half second from 0 until `until`, as the player does, and
// gives the first reading that judged anything.
Judgement firstJudgement(const std::function<ClockWatch::Verdict(qint64 at)> &read, qint64 until)
{
    for (qint64 at = 0; at <= until; at += interval) {
        const ClockWatch::Verdict verdict = read(at);
        if (verdict != ClockWatch::Nothing)
            return {at, verdict};
    }
    return {};
}

} // namespace

// What the player makes of a back end's clock: each case is a way Phonon's
// GStreamer back end was seen to stand, or a standstill that is normal and
// must be left alone.
class ClockWatchTest : public QObject
{
    Q_OBJECT

private slots:
    void pauseNobodyAskedForIsStrandedAfterTwoSeconds();
    void pauseHoldsWhileAskedForOrBuffering();
    void pausedClockThatRunsIsPlayback();
    void playingClock_data();
    void playingClock();
    void playingAgainForgetsWhereTheClockStood();
    void resumeThatNeverRuns_data();
    void resumeThatNeverRuns();
    void seekIsNeitherPlaybackNorAStand();
};

void ClockWatchTest::pauseNobodyAskedForIsStrandedAfterTwoSeconds()
{
    ClockWatch watch;
    watch.startPause(0, 0);
    // A paused pipeline may report a frame or two of movement.
    qint64 clock = 0;
    const Judgement first = firstJudgement([&](qint64 at) { return watch.readPaused(clock += 40, false, at); }, 10000);
    QCOMPARE(first.verdict, ClockWatch::Stranded);
    QCOMPARE(first.at, qint64(2000));

    // The rescue gets its own two seconds before the next one.
    QCOMPARE(watch.readPaused(clock, false, 3500), ClockWatch::Nothing);
    QCOMPARE(watch.readPaused(clock, false, 4000), ClockWatch::Stranded);
}

void ClockWatchTest::pauseHoldsWhileAskedForOrBuffering()
{
    ClockWatch asked;
    asked.startPause(700, 0);
    QCOMPARE(firstJudgement([&](qint64 at) { return asked.readPaused(700, true, at); }, 60000).verdict,
             ClockWatch::Nothing);

    // Data still arriving, however slowly, explains the pause; two seconds
    // after the last news it does not.
    ClockWatch buffering;
    buffering.startPause(0, 0);
    const Judgement judged = firstJudgement(
        [&](qint64 at) {
            if (at == 1500 || at == 3000)
                buffering.bufferNews(at);
            return buffering.readPaused(0, false, at);
        },
        10000);
    QCOMPARE(judged.verdict, ClockWatch::Stranded);
    QCOMPARE(judged.at, qint64(5000));
}

void ClockWatchTest::pausedClockThatRunsIsPlayback()
{
    ClockWatch watch;
    watch.startPause(1000, 0);
    QCOMPARE(watch.readPaused(1450, false, 500), ClockWatch::ClockRuns);
    // The clock then stands: the two seconds count from its last run, not
    // from the start of the pause.
    QCOMPARE(watch.readPaused(1450, false, 2000), ClockWatch::Nothing);
    QCOMPARE(watch.readPaused(1450, false, 2500), ClockWatch::Stranded);
}

void ClockWatchTest::playingClock_data()
{
    QTest::addColumn<qint64>("clock");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<bool>("backEndPlays");
    QTest::addColumn<bool>("queueEmpty");
    QTest::addColumn<ClockWatch::Verdict>("verdict");
    QTest::addColumn<qint64>("at");
    QTest::addColumn<qint64>("until");

    // The clock first stands at the second reading (500 ms).
    QTest::newRow("song stuck at its start: stranded once its 3 s and 2 s more have passed")
        << qint64(0) << qint64(3000) << true << true << ClockWatch::Stranded << qint64(5500) << qint64(60000);
    QTest::newRow("stuck mid-way: its remaining time and 2 s")
        << qint64(20000) << qint64(30000) << true << true << ClockWatch::Stranded << qint64(12500) << qint64(60000);
    QTest::newRow("stuck, but the back end no longer says it plays")
        << qint64(0) << qint64(3000) << false << true << ClockWatch::Nothing << qint64(-1) << qint64(60000);
    // The back end stops a short video's clock for about 2 s before its end;
    // a seek then would drop the end.
    QTest::newRow("video's clock resting 0.5 s before its end for 2 s")
        << qint64(2518) << qint64(3018) << true << true << ClockWatch::Nothing << qint64(-1) << qint64(2500);
    QTest::newRow("standing at the end: ended after 1.5 s")
        << qint64(2900) << qint64(3000) << true << true << ClockWatch::EndHeld << qint64(2000) << qint64(60000);
    QTest::newRow("standing at the end with a source queued: the back end goes on by itself")
        << qint64(3000) << qint64(3000) << true << false << ClockWatch::Nothing << qint64(-1) << qint64(60000);
    QTest::newRow("length unknown: nothing to judge by")
        << qint64(0) << qint64(-1) << true << true << ClockWatch::Nothing << qint64(-1) << qint64(60000);
}

void ClockWatchTest::playingClock()
{
    QFETCH(qint64, clock);
    QFETCH(qint64, total);
    QFETCH(bool, backEndPlays);
    QFETCH(bool, queueEmpty);
    QFETCH(ClockWatch::Verdict, verdict);
    QFETCH(qint64, at);
    QFETCH(qint64, until);

    ClockWatch watch;
    watch.startPlaying();
    const Judgement judged = firstJudgement(
        [&](qint64 now) { return watch.readPlaying(clock, total, backEndPlays, queueEmpty, now); }, until);
    QCOMPARE(judged.verdict, verdict);
    QCOMPARE(judged.at, at);
}

void ClockWatchTest::playingAgainForgetsWhereTheClockStood()
{
    ClockWatch watch;
    watch.startPlaying();
    QCOMPARE(watch.readPlaying(0, 3000, true, true, 0), ClockWatch::Nothing);
    QCOMPARE(watch.readPlaying(0, 3000, true, true, 500), ClockWatch::Nothing);
    // A clock that moves starts the count again.
    QCOMPARE(watch.readPlaying(400, 3000, true, true, 1000), ClockWatch::Nothing);
    QCOMPARE(watch.readPlaying(400, 3000, true, true, 4000), ClockWatch::Nothing);
    QCOMPARE(watch.readPlaying(400, 3000, true, true, 5100), ClockWatch::Nothing);
    // So does a new start of playback (a new source, or a resumed pause).
    watch.startPlaying();
    QCOMPARE(watch.readPlaying(400, 3000, true, true, 6000), ClockWatch::Nothing);
    QCOMPARE(watch.readPlaying(400, 3000, true, true, 6500), ClockWatch::Nothing);
    QCOMPARE(watch.readPlaying(400, 3000, true, true, 11000), ClockWatch::Nothing);
    QCOMPARE(watch.readPlaying(400, 3000, true, true, 11100), ClockWatch::Stranded);
}

void ClockWatchTest::resumeThatNeverRuns_data()
{
    QTest::addColumn<QList<qint64>>("clocks");
    QTest::addColumn<bool>("backEndPlays");
    QTest::addColumn<ClockWatch::Verdict>("verdict");
    QTest::addColumn<qint64>("at");

    // Paused at 4000 of a 30 s song; the clock is read from 500 ms on,
    // standing at its last reading. It first stands at the third (1000 ms).
    QTest::newRow("fallen to 0: stranded two seconds after it first stands")
        << QList<qint64>{0} << true << ClockWatch::ResumeLost << qint64(3000);
    QTest::newRow("standing where the pause was")
        << QList<qint64>{4000} << true << ClockWatch::ResumeLost << qint64(3000);
    QTest::newRow("ran once, then stands: judged as any playing clock")
        << QList<qint64>{4000, 4300} << true << ClockWatch::Stranded << qint64(29500);
    QTest::newRow("the back end no longer says it plays")
        << QList<qint64>{0} << false << ClockWatch::Nothing << qint64(-1);
}

void ClockWatchTest::resumeThatNeverRuns()
{
    QFETCH(QList<qint64>, clocks);
    QFETCH(bool, backEndPlays);
    QFETCH(ClockWatch::Verdict, verdict);
    QFETCH(qint64, at);

    ClockWatch watch;
    watch.startPause(4000, 0);
    watch.startPlaying(true);
    QCOMPARE(watch.resumePoint(), qint64(4000));
    const Judgement judged = firstJudgement(
        [&](qint64 now) {
            const qint64 clock = clocks.value(int(now / interval) - 1, clocks.last());
            return now == 0 ? ClockWatch::Nothing : watch.readPlaying(clock, 30000, backEndPlays, true, now);
        },
        60000);
    QCOMPARE(judged.verdict, verdict);
    QCOMPARE(judged.at, at);

    // Resumed anew, with data arriving, a clock that stands is not judged.
    watch.startPlaying(true);
    watch.bufferNews(103000);
    QCOMPARE(watch.readPlaying(0, 30000, true, true, 100000), ClockWatch::Nothing);
    QCOMPARE(watch.readPlaying(0, 30000, true, true, 100500), ClockWatch::Nothing);
    QCOMPARE(watch.readPlaying(0, 30000, true, true, 104600), ClockWatch::Nothing);
}

// The clock jumps where a seek sends it; the back ends get there a moment
// later (GStreamer reads 0 meanwhile), or not at all.
void ClockWatchTest::seekIsNeitherPlaybackNorAStand()
{
    ClockWatch paused;
    paused.startPause(1790, 0);
    paused.seekTo(7790, 100);
    QCOMPARE(paused.seekTarget(), qint64(7790));
    QCOMPARE(paused.readPaused(0, false, 500), ClockWatch::Nothing);
    QCOMPARE(paused.readPaused(7790, false, 1000), ClockWatch::Nothing);
    QCOMPARE(paused.seekTarget(), qint64(-1));
    // Landed, the clock is judged from there.
    QCOMPARE(paused.readPaused(8290, false, 1500), ClockWatch::ClockRuns);

    // A seek that never lands is given up after two seconds, and the clock
    // judged from where it stands.
    ClockWatch nowhere;
    nowhere.startPause(1790, 0);
    nowhere.seekTo(7790, 0);
    QCOMPARE(nowhere.readPaused(1790, false, 1500), ClockWatch::Nothing);
    QCOMPARE(nowhere.readPaused(1790, false, 2000), ClockWatch::Nothing);
    QCOMPARE(nowhere.seekTarget(), qint64(-1));
    QCOMPARE(nowhere.readPaused(1790, false, 3500), ClockWatch::Nothing);
    QCOMPARE(nowhere.readPaused(1790, false, 4000), ClockWatch::Stranded);

    // Playing, the clock read from before the seek does not count as
    // standing; a resume rescued goes on from the seek.
    ClockWatch playing;
    playing.startPause(4000, 0);
    playing.startPlaying(true);
    playing.seekTo(20000, 0);
    QCOMPARE(playing.resumePoint(), qint64(20000));
    for (qint64 at = 0; at < 2000; at += 500)
        QCOMPARE(playing.readPlaying(4000, 30000, true, true, at), ClockWatch::Nothing);
    QCOMPARE(playing.readPlaying(20000, 30000, true, true, 2000), ClockWatch::Nothing);
    QCOMPARE(playing.readPlaying(20000, 30000, true, true, 2500), ClockWatch::Nothing);
    QCOMPARE(playing.readPlaying(20000, 30000, true, true, 4500), ClockWatch::ResumeLost);
}

QTEST_APPLESS_MAIN(ClockWatchTest)

#include "tst_clockwatch.moc"
