// Times the media player from playLocation to the playing state, for a local
// file and a loopback URL, against gst-launch-1.0 playbin on the same media
// in the same run, under each Phonon back end. Measures its CPU share of one
// core while audio plays for ten seconds against a bare Phonon program on the
// same back end (a media object, an audio output and a path, nothing else:
// the fair floor) and against gst-launch-1.0. Prints ratios, and "result"
// lines for bench/run-all.sh; never fails for being slow. Run it inside
// scripts/with-test-session.sh:
//   bench_player [rounds]   (default 3; medians are printed)
// The player is warm (its back end loaded by a first source); the baseline
// starts a fresh process each time, whose bare start-up is measured and
// subtracted, but whose GStreamer set-up is not.

#include "chartservice.h"
#include "mediaplayer.h"
#include "testmedia.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <phonon/AudioOutput>
#include <phonon/MediaObject>
#include <phonon/Path>
#include <phonon/SeekSlider>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <unistd.h>

namespace {

const int cpuSeconds = 10;

// -1 when nothing was measured.
double median(QList<double> values)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// User plus system CPU time of a process in milliseconds, from /proc.
double cpuMs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which may hold blanks, closed by ')'.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    return ticks * 1000.0 / sysconf(_SC_CLK_TCK);
}

// Runs the event loop until `done` is emitted or the time is up, without
// spinning, so that waiting costs no CPU of its own.
template <typename Sender, typename Signal>
bool waitForSignal(Sender *sender, Signal signal, const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    QObject::connect(sender, signal, &loop, [&] {
        if (done())
            loop.quit();
    });
    loop.exec();
    return done();
}

void idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitForState(Phonon::MediaObject &media, Phonon::State state, int timeoutMs)
{
    return waitForSignal(&media, &Phonon::MediaObject::stateChanged, [&] { return media.state() == state; }, timeoutMs);
}

// Milliseconds from playLocation to the playing state, -1 when it never came.
double timeToPlaying(MediaPlayer &player, Phonon::MediaObject &media, const QString &location)
{
    player.stop();
    waitForState(media, Phonon::StoppedState, 5000);
    QElapsedTimer clock;
    double ms = -1;
    // Timed where the player hears of the change, not where the wait notices it.
    const QMetaObject::Connection watch =
        QObject::connect(&media, &Phonon::MediaObject::stateChanged, [&](Phonon::State state) {
            if (state == Phonon::PlayingState && ms < 0)
                ms = clock.nsecsElapsed() / 1e6;
        });
    clock.start();
    player.playLocation(location);
    waitForSignal(&media, &Phonon::MediaObject::stateChanged, [&] { return ms >= 0; }, 20000);
    QObject::disconnect(watch);
    player.stop();
    return ms;
}

// gst-launch-1.0 playbin on a URI: milliseconds from start to its clock
// running (the playing state), less the bare start-up of the same program.
double baselineToPlaying(const QString &uri, double startupMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral("gst-launch-1.0"), {QStringLiteral("playbin"), QStringLiteral("uri=") + uri});
    double ms = -1;
    QByteArray seen;
    while (process.waitForReadyRead(20000)) {
        seen += process.readAll();
        if (seen.contains("New clock")) {
            ms = clock.nsecsElapsed() / 1e6 - startupMs;
            break;
        }
    }
    process.kill();
    process.waitForFinished(5000);
    return ms;
}

double startupOfGstLaunch()
{
    QList<double> runs;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer clock;
        clock.start();
        QProcess process;
        process.start(QStringLiteral("gst-launch-1.0"), {QStringLiteral("--version")});
        process.waitForFinished(10000);
        runs << clock.nsecsElapsed() / 1e6;
    }
    return median(runs);
}

// CPU share of one core over cpuSeconds of playback, sampled after the first second.
double playerCpuShare(MediaPlayer &player, Phonon::MediaObject &media, const QString &file)
{
    player.stop();
    player.playFile(file);
    if (!waitForState(media, Phonon::PlayingState, 20000))
        return -1;
    idle(1000);
    const double before = cpuMs(getpid());
    QElapsedTimer wall;
    wall.start();
    idle(cpuSeconds * 1000);
    const double share = (cpuMs(getpid()) - before) / wall.elapsed();
    player.stop();
    return share;
}

// CPU share of another program playing the media, from the line it prints
// once playing: gst-launch-1.0 playbin, or this program as a bare Phonon player.
double baselineCpuShare(const QString &program, const QStringList &arguments, const QByteArray &playingLine,
                        const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    QByteArray seen;
    while (!seen.contains(playingLine) && process.waitForReadyRead(20000))
        seen += process.readAll();
    if (!seen.contains(playingLine)) {
        process.kill();
        process.waitForFinished(5000);
        return -1;
    }
    QThread::msleep(1000);
    const double before = cpuMs(process.processId());
    QElapsedTimer wall;
    wall.start();
    QThread::msleep(cpuSeconds * 1000);
    const double share = (cpuMs(process.processId()) - before) / wall.elapsed();
    process.kill();
    process.waitForFinished(5000);
    return share;
}

void printRatio(const char *what, double player, double baseline, const char *unit)
{
    if (player < 0 || baseline <= 0) {
        std::printf("  %-34s player %9.1f %s   baseline %9.1f %s   (no ratio: a side failed)\n", what, player, unit,
                    baseline, unit);
        return;
    }
    std::printf("  %-34s player %9.1f %s   baseline %9.1f %s   ratio %.2f\n", what, player, unit, baseline, unit,
                player / baseline);
}

// One line of the table bench/run-all.sh prints.
void printResult(const QByteArray &backend, const char *measure, double player, double baseline,
                 const char *baselineName, const char *unit, const char *goal)
{
    const QByteArray ratio =
        player < 0 || baseline <= 0 ? QByteArray("n/a") : QByteArray::number(player / baseline, 'f', 2);
    std::printf("result\tplayer (%s)\t%s\t%.1f %s\t%.1f %s\t%s\t%s\t%s\n", backend.constData(), measure, player, unit,
                baseline, unit, baselineName, ratio.constData(), goal);
}

// The fair floor for the CPU while playing: Phonon on the same back end with
// nothing of the player around it. Prints "playing" once it plays; runs
// until killed.
int runBare(const QString &file)
{
    Phonon::MediaObject media;
    // The category the player's own output has.
    Phonon::AudioOutput output(Phonon::VideoCategory);
    Phonon::createPath(&media, &output);
    QObject::connect(&media, &Phonon::MediaObject::stateChanged, [](Phonon::State state) {
        if (state == Phonon::PlayingState) {
            std::printf("playing\n");
            std::fflush(stdout);
        }
    });
    media.setCurrentSource(Phonon::MediaSource(QUrl::fromLocalFile(file)));
    media.play();
    return QCoreApplication::exec();
}

int runBackend(int rounds)
{
    QTemporaryDir dir;
    const QString song = TestMedia::song(dir.path(), QStringLiteral("bench.ogg"), cpuSeconds + 4,
                                         QStringLiteral("Bench"), QStringLiteral("Melodrift"));
    ChartService service;
    if (song.isEmpty() || !service.start()) {
        std::printf("  cannot prepare media or the chart service\n");
        return 1;
    }
    const QString fileUri = QUrl::fromLocalFile(song).toString();
    const QString netUri = service.url(QStringLiteral("media/copper-skies.ogg")).toString();

    MediaPlayer player;
    // The player keeps its media object to itself; its seek slider shows it.
    Phonon::MediaObject *media = nullptr;
    for (QObject *child : player.findChildren<QObject *>()) {
        if (auto *slider = qobject_cast<Phonon::SeekSlider *>(child))
            media = slider->mediaObject();
    }
    if (!media) {
        std::printf("  cannot reach the player's media object\n");
        return 1;
    }
    // Warm up: the back end loads with the first source.
    timeToPlaying(player, *media, fileUri);

    const double startup = startupOfGstLaunch();
    QList<double> localPlayer, localBase, netPlayer, netBase;
    for (int i = 0; i < rounds; ++i) {
        localPlayer << timeToPlaying(player, *media, fileUri);
        localBase << baselineToPlaying(fileUri, startup);
        netPlayer << timeToPlaying(player, *media, netUri);
        netBase << baselineToPlaying(netUri, startup);
    }
    printRatio("local file to playing", median(localPlayer), median(localBase), "ms");
    printRatio("loopback URL to playing", median(netPlayer), median(netBase), "ms");
    // Alternated with its baselines, so that all meet the same load.
    QList<double> cpuPlayer, cpuBare, cpuGst;
    QProcessEnvironment bareEnv = QProcessEnvironment::systemEnvironment();
    bareEnv.insert(QStringLiteral("MELODRIFT_BENCH_BARE"), song);
    // A side that did not play leaves no figure, and its ratio says "n/a".
    const auto keep = [](QList<double> &shares, double share) {
        if (share >= 0)
            shares << share * 100;
    };
    for (int i = 0; i < rounds; ++i) {
        keep(cpuPlayer, playerCpuShare(player, *media, song));
        keep(cpuBare, baselineCpuShare(QCoreApplication::applicationFilePath(), {}, "playing", bareEnv));
        keep(cpuGst, baselineCpuShare(QStringLiteral("gst-launch-1.0"),
                                      {QStringLiteral("playbin"), QStringLiteral("uri=") + fileUri}, "New clock"));
    }
    std::printf("  CPU share of one core while 10 s of audio play, median of %d:\n", rounds);
    printRatio("against a bare Phonon player", median(cpuPlayer), median(cpuBare), "% ");
    printRatio("against gst-launch-1.0 playbin", median(cpuPlayer), median(cpuGst), "% ");
    std::printf("  (baseline start-up of gst-launch-1.0, %.1f ms, is subtracted from its times)\n", startup);

    const QByteArray backend = qgetenv("MELODRIFT_BENCH_CHILD");
    printResult(backend, "local file to playing", median(localPlayer), median(localBase), "gst-launch-1.0 playbin",
                "ms", "-");
    printResult(backend, "loopback URL to playing", median(netPlayer), median(netBase), "gst-launch-1.0 playbin", "ms",
                "-");
    printResult(backend, "CPU while playing, % of a core", median(cpuPlayer), median(cpuBare), "bare Phonon", "%",
                "<= 1.10");
    printResult(backend, "CPU while playing, % of a core", median(cpuPlayer), median(cpuGst), "gst-launch-1.0 playbin",
                "%", "-");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const QString bareFile = qEnvironmentVariable("MELODRIFT_BENCH_BARE");
    if (!bareFile.isEmpty()) {
        QCoreApplication app(argc, argv);
        return runBare(bareFile);
    }
    const QByteArray backend = qgetenv("MELODRIFT_BENCH_CHILD");
    if (!backend.isEmpty()) {
        QApplication app(argc, argv);
        return runBackend(argc > 1 ? qMax(1, atoi(argv[1])) : 3);
    }
    // One child per back end: Phonon picks its back end once per process.
    int status = 0;
    for (const char *name : {"vlc", "gstreamer"}) {
        std::printf("Back end %s, baseline gst-launch-1.0 playbin (ratio = player / baseline):\n", name);
        std::fflush(stdout);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PHONON_BACKEND"), QStringLiteral("phonon_") + QLatin1String(name));
        env.insert(QStringLiteral("MELODRIFT_BENCH_CHILD"), QLatin1String(name));
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        QStringList arguments;
        for (int i = 1; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        child.start(QString::fromLocal8Bit(argv[0]), arguments);
        child.waitForFinished(-1);
        status |= child.exitCode();
    }
    return status;
}
