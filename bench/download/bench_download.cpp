// Downloads one large file from the loopback fixture server twice, once with
// curl (the baseline) and once with the download window, and prints the
// throughput ratio and the window's memory growth. Never fails for being slow.
//   bench_download [MiB [rounds]]   (default 1024 MiB, 2 rounds)

#include "fixtureserver.h"
#include "httpwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

// A field of /proc/self/status in KiB, e.g. "VmRSS" or "VmHWM".
qint64 statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Starts the peak (VmHWM) afresh from the current resident size.
void resetPeak()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

double mibPerSecond(qint64 bytes, qint64 ms)
{
    return ms > 0 ? bytes / 1048576.0 / (ms / 1000.0) : 0.0;
}

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Milliseconds for curl to fetch the file, and for that plus flushing it to
// disk: the window flushes before it moves a download into place (so a crash
// cannot leave a half-written file where the old one was), curl does not.
QPair<qint64, qint64> timeCurl(const QUrl &url, const QString &output)
{
    QElapsedTimer clock;
    clock.start();
    if (!run(QStringLiteral("curl"), {QStringLiteral("-sS"), QStringLiteral("-o"), output, url.toString()}))
        return {-1, -1};
    const qint64 fetched = clock.elapsed();
    if (!run(QStringLiteral("sync"), {QStringLiteral("--data"), output}))
        return {fetched, -1};
    return {fetched, clock.elapsed()};
}

void keepBest(qint64 &best, qint64 candidate)
{
    if (candidate >= 0 && (best < 0 || candidate < best))
        best = candidate;
}

qint64 timeWindow(const QUrl &url, const QString &name)
{
    QElapsedTimer clock;
    clock.start();
    HttpWindow window;
    window.downloadFile(url.toString(), name);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!window.isDownloading())
            loop.quit();
    });
    poll.start(20);
    loop.exec();
    return clock.elapsed();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir scratch;
    if (!scratch.isValid())
        qFatal("no temporary folder");
    const QString downloads = scratch.path() + QStringLiteral("/downloads/");
    qputenv("MELODRIFT_DOWNLOAD_DIR", QFile::encodeName(downloads));

    QApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    const qint64 size = mib * 1048576;

    FixtureServer server;
    if (!server.start())
        qFatal("the fixture server did not start");
    const QUrl url = server.http(QStringLiteral("/bytes/%1").arg(size));

    // Rounds alternate so that both sides meet the same disk and page-cache
    // weather; the best round of each is compared.
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt() : 2;
    const QString curlFile = scratch.path() + QStringLiteral("/curl.bin");
    const QString windowFile = downloads + QStringLiteral("window.bin");
    qint64 bestCurl = -1;
    qint64 bestCurlSynced = -1;
    qint64 bestWindow = -1;
    qint64 peakGrowth = 0;
    qint64 peak = 0;
    for (int round = 0; round < rounds; ++round) {
        const QPair<qint64, qint64> curlMs = timeCurl(url, curlFile);
        if (QFileInfo(curlFile).size() == size) {
            keepBest(bestCurl, curlMs.first);
            keepBest(bestCurlSynced, curlMs.second);
        }
        QFile::remove(curlFile);

        const qint64 rssBefore = statusKiB("VmRSS");
        resetPeak();
        const qint64 windowMs = timeWindow(url, QStringLiteral("window.bin"));
        peak = qMax(peak, statusKiB("VmHWM"));
        peakGrowth = qMax(peakGrowth, statusKiB("VmHWM") - rssBefore);
        if (QFileInfo(windowFile).size() == size)
            keepBest(bestWindow, windowMs);
        QFile::remove(windowFile);
    }

    std::printf("download of %lld MiB from 127.0.0.1, best of %d rounds\n", mib, rounds);
    if (bestCurl < 0)
        std::printf("curl (baseline): failed\n");
    else
        std::printf("curl (baseline): %lld ms, %.1f MiB/s\n", bestCurl, mibPerSecond(size, bestCurl));
    if (bestWindow < 0)
        std::printf("download window: failed\n");
    else
        std::printf("download window: %lld ms, %.1f MiB/s\n", bestWindow, mibPerSecond(size, bestWindow));
    if (bestCurl > 0 && bestWindow > 0)
        std::printf("throughput ratio window/curl: %.2f (goal: at least 0.80)\n", double(bestCurl) / bestWindow);
    if (bestCurlSynced > 0 && bestWindow > 0)
        std::printf("throughput ratio window/(curl, then sync --data): %.2f\n", double(bestCurlSynced) / bestWindow);
    std::printf("window peak resident memory: %.1f MiB, growth %.1f MiB (goal: under 64 MiB)\n", peak / 1024.0,
                peakGrowth / 1024.0);
    // The table bench/run-all.sh prints: times, so a ratio above 1 is slower.
    if (bestCurl > 0 && bestWindow > 0)
        std::printf("result\tdownload\t%lld MiB from loopback, time\t%lld ms\t%lld ms\tcurl\t%.2f\t-\n", mib,
                    bestWindow, bestCurl, double(bestWindow) / bestCurl);
    if (bestCurlSynced > 0 && bestWindow > 0)
        std::printf(
            "result\tdownload\t%lld MiB from loopback, time\t%lld ms\t%lld ms\tcurl, then sync --data\t%.2f\t-\n", mib,
            bestWindow, bestCurlSynced, double(bestWindow) / bestCurlSynced);
    return 0;
}
