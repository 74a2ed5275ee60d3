// How long the script bridge takes to hand a lookup answer to the page, from
// the moment the answer has arrived to the page function's report, next to
// the engine's floor for the same call evaluated directly by the engine's own
// call: process_youtube('<literal of the same size>'), and
// process_ajax(window.atob('<the same Base64>')), the form the bridge keeps
// for binary answers. The page functions report on the console, which every
// engine hands to the program (QtWebKit at once, QtWebEngine from its
// renderer process), so both sides of a ratio end on the same event. Built
// once per engine (bench_bridge_webkit, bench_bridge_webengine). Prints
// medians and the median of each run's ratio, and one "result" line per
// kind with its worst ratio (bench/run-all.sh gathers those); it never fails
// for being slow.
//
//   scripts/with-test-session.sh build/bench/bridge/bench_bridge_webkit
//   (without an X server it falls back to the offscreen platform)

#include "browserview.h"
#include "directevaluation.h"
#include "engineprobe.h"
#include "pageview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkReply>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char pageHtml[] = "<!DOCTYPE html><html><head><meta charset='utf-8'><script>"
                        "function process_youtube(text) { console.log('bench arrived ' + text.length); }"
                        "function process_ajax(text) { console.log('bench arrived ' + text.length); }"
                        "</script></head><body>bridge benchmark</body></html>";

QElapsedTimer benchClock;

QByteArray pattern(int size)
{
    static const QByteArray unit("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz-_");
    QByteArray out;
    out.reserve(size);
    while (out.size() < size)
        out.append(unit.left(size - out.size()));
    return out;
}

// Serves the page at / and /answer?size=N on 127.0.0.1, one request per connection.
class AnswerServer : public QTcpServer
{
public:
    AnswerServer() { connect(this, &QTcpServer::newConnection, this, &AnswerServer::accept); }

private:
    void accept()
    {
        while (QTcpSocket *socket = nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void serve(QTcpSocket *socket)
    {
        QByteArray &request = pending[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        const QByteArray target = request.split(' ').value(1);
        pending.remove(socket);
        QByteArray body;
        QByteArray type = "application/octet-stream";
        if (target.startsWith("/answer?size=")) {
            body = pattern(target.mid(int(qstrlen("/answer?size="))).toInt());
        } else {
            body = pageHtml;
            type = "text/html; charset=utf-8";
        }
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + type
                      + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n");
        socket->write(body);
        socket->disconnectFromHost();
    }

    QHash<QTcpSocket *, QByteArray> pending;
};

// Where the page function's report arrives, and when the latest network
// reply event was delivered: the one that finishes a reply is where the
// bridge hands the answer to the page.
struct Probe : public QObject
{
    qint64 arrivedNs = -1;
    int arrivedLength = -1;
    qint64 replyEventNs = -1;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Events that reach a reply after it finished come after the answer
        // was sent: under QtWebEngine, before the page reports it.
        auto *reply = qobject_cast<QNetworkReply *>(watched);
        if (event->type() == QEvent::MetaCall && reply && !reply->isFinished())
            replyEventNs = benchClock.nsecsElapsed();
        return false;
    }
} probe;

const QString arrivedText = QStringLiteral("bench arrived ");
QtMessageHandler previousHandler = nullptr;

// The page's report is stamped before anything else is done with it. The
// program's other debug output would drown the table: only warnings and
// worse go on.
void catchReport(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const int at = text.indexOf(arrivedText);
    if (at >= 0) {
        probe.arrivedNs = benchClock.nsecsElapsed();
        probe.arrivedLength = text.mid(at + arrivedText.size()).section(QLatin1Char(' '), 0, 0).toInt();
        return;
    }
    if (type != QtDebugMsg && type != QtInfoMsg)
        previousHandler(type, context, text);
}

struct Bench
{
    BrowserView *view = nullptr;
    QString base;

    bool waitForArrival(int timeoutMs)
    {
        QElapsedTimer waited;
        waited.start();
        while (probe.arrivedNs < 0 && waited.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return probe.arrivedNs >= 0;
    }

    void reset()
    {
        // Each measurement starts from a collected script heap, so that
        // neither side pays for the garbage the other left (the engine
        // collects when enough has piled up, in whichever call that is).
        EngineProbe::collectGarbage();
        probe.arrivedNs = -1;
        probe.arrivedLength = -1;
        probe.replyEventNs = -1;
    }

    // Arrival of the answer to the page function's report, in ms; -1 on failure.
    double throughBridge(const QString &slot, int size)
    {
        reset();
        view->pageView()->evaluate(QStringLiteral("Player.%1('%2answer?size=%3');").arg(slot, base).arg(size));
        if (!waitForArrival(120000) || probe.arrivedLength != size || probe.replyEventNs < 0)
            return -1;
        return (probe.arrivedNs - probe.replyEventNs) / 1e6;
    }

    // The engine's floor: the same call with a literal of the same size,
    // or for process_ajax with the same Base64 text through window.atob.
    double direct(const QString &function, int size)
    {
        const bool ajax = function == QLatin1String("process_ajax");
        const QString script =
            ajax ? function + QStringLiteral("(window.atob('") + QString::fromLatin1(pattern(size).toBase64())
                       + QStringLiteral("'))")
                 : function + QStringLiteral("('") + QString::fromLatin1(pattern(size)) + QStringLiteral("')");
        reset();
        // Sent as the bridge sends its answer: from inside the event loop,
        // where QtWebEngine hands it to Chromium sooner, and shortly after
        // the page last ran script (the lookup's call), while a renderer
        // process is still awake; one idle for some milliseconds takes
        // longer to answer, which would flatter the bridge.
        qint64 start = -1;
        bool found = false;
        view->pageView()->evaluate(QStringLiteral("0"), [this, &script, &start, &found](const QVariant &) {
            QMetaObject::invokeMethod(
                view,
                [this, &script, &start, &found] {
                    start = benchClock.nsecsElapsed();
                    found = DirectEvaluation::run(view->pageView()->widget(), script);
                },
                Qt::QueuedConnection);
        });
        if (!waitForArrival(120000) || !found || probe.arrivedLength != size)
            return -1;
        return (probe.arrivedNs - start) / 1e6;
    }

    // The script's value, waited for on engines that answer later.
    QVariant evaluated(const QString &script)
    {
        QVariant value;
        bool done = false;
        view->pageView()->evaluate(script, [&value, &done](const QVariant &result) {
            value = result;
            done = true;
        });
        QElapsedTimer waited;
        waited.start();
        while (!done && waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return value;
    }
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The median of each run's ratio: a run and its floor are taken moments
// apart, while the machine's other load changes over the seconds of a size.
double pairedRatio(const std::vector<double> &runs, const std::vector<double> &floors)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < runs.size() && i < floors.size(); ++i)
        ratios.push_back(runs[i] / floors[i]);
    return median(ratios);
}

QString sizeName(int size)
{
    return size >= 1024 * 1024 ? QStringLiteral("%1 MiB").arg(size / (1024 * 1024))
                               : QStringLiteral("%1 KiB").arg(size / 1024);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Nothing the application writes may land outside a temporary folder.
    QTemporaryDir home;
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(name, QFile::encodeName(home.path() + QLatin1Char('/') + QLatin1String(name)));
    qputenv("MELODRIFT_DOWNLOAD_DIR", QFile::encodeName(home.path() + QStringLiteral("/downloads")));
    qputenv("MELODRIFT_PLAYLIST_FILE", QFile::encodeName(home.path() + QStringLiteral("/melodrift.ram")));

    PageView::prepareProcess();
    EngineProbe::prepareProcess();
    QApplication app(argc, argv);
    QSettings::setDefaultFormat(QSettings::IniFormat);
    previousHandler = qInstallMessageHandler(catchReport);

    AnswerServer server;
    if (!server.listen(QHostAddress::LocalHost, 0)) {
        fprintf(stderr, "cannot listen on 127.0.0.1\n");
        return 1;
    }
    Bench bench;
    bench.base = QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort());
    qputenv("MELODRIFT_START_URL", bench.base.toUtf8());
    benchClock.start();

    BrowserView view(nullptr);
    view.resize(640, 480);
    view.show();
    bench.view = &view;
    app.installEventFilter(&probe);

    QElapsedTimer loading;
    loading.start();
    while (
        !bench.evaluated(QStringLiteral("typeof process_ajax === 'function' && typeof Player === 'object'")).toBool()) {
        if (loading.elapsed() > 30000) {
            fprintf(stderr, "the benchmark page did not load\n");
            return 1;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    // Warm the engine and the connection code up once.
    bench.throughBridge(QStringLiteral("request_youtube"), 1024);
    bench.throughBridge(QStringLiteral("search_song_nokia"), 1024);
    bench.direct(QStringLiteral("process_youtube"), 1024);
    bench.direct(QStringLiteral("process_ajax"), 1024);

    QTextStream out(stdout);
    const QString engine = PageView::engineName();
    out << "Script bridge on " << engine << ": arrival of a lookup answer to the page function's report (median ms;\n"
        << "ratio: median of each run's ratio to the floor run beside it)\n"
        << "floors, evaluated directly by the engine's own call: literal = process_youtube('<literal of the same size>'),\n"
        << "atob = process_ajax(window.atob('<the same Base64>'))\n\n";
    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8\n")
               .arg(QStringLiteral("size"), -8)
               .arg(QStringLiteral("runs"), 5)
               .arg(QStringLiteral("literal"), 10)
               .arg(QStringLiteral("youtube"), 10)
               .arg(QStringLiteral("ratio"), 7)
               .arg(QStringLiteral("atob"), 10)
               .arg(QStringLiteral("ajax"), 10)
               .arg(QStringLiteral("ratio"), 7);
    out.flush();

    // The worst ratio of each kind over the sizes, with its figures: median
    // and the spread of the runs.
    struct Worst
    {
        double ratio = 0;
        QString bridge, floor;
        int size = 0;
        void offer(const std::vector<double> &b, const std::vector<double> &f, int s)
        {
            if (pairedRatio(b, f) > ratio)
                *this = {pairedRatio(b, f), figures(b), figures(f), s};
        }
        static QString figures(const std::vector<double> &runs)
        {
            const auto [least, most] = std::minmax_element(runs.begin(), runs.end());
            return QStringLiteral("%1 ms (%2-%3)")
                .arg(median(runs), 0, 'f', 3)
                .arg(*least, 0, 'f', 3)
                .arg(*most, 0, 'f', 3);
        }
    } worstYoutube, worstAjax;

    bool failed = false;
    for (int size = 1024; size <= 16 * 1024 * 1024; size *= 4) {
        const int runs = std::clamp(int((64LL * 1024 * 1024) / size), 5, 25);
        std::vector<double> literalFloor, youtube, atobFloor, ajax;
        // Alternated, so that both sides of a ratio meet the same load.
        for (int i = 0; i < runs; ++i) {
            double d, y, da, a;
            if (i % 2 == 0) {
                d = bench.direct(QStringLiteral("process_youtube"), size);
                y = bench.throughBridge(QStringLiteral("request_youtube"), size);
                da = bench.direct(QStringLiteral("process_ajax"), size);
                a = bench.throughBridge(QStringLiteral("search_song_nokia"), size);
            } else {
                a = bench.throughBridge(QStringLiteral("search_song_nokia"), size);
                da = bench.direct(QStringLiteral("process_ajax"), size);
                y = bench.throughBridge(QStringLiteral("request_youtube"), size);
                d = bench.direct(QStringLiteral("process_youtube"), size);
            }
            if (d < 0 || y < 0 || da < 0 || a < 0) {
                failed = true;
                continue;
            }
            literalFloor.push_back(d);
            youtube.push_back(y);
            atobFloor.push_back(da);
            ajax.push_back(a);
        }
        if (literalFloor.empty()) {
            out << sizeName(size) << ": no answer reached the page intact\n";
            continue;
        }
        const double f = median(literalFloor);
        const double y = median(youtube);
        const double fa = median(atobFloor);
        const double a = median(ajax);
        worstYoutube.offer(youtube, literalFloor, size);
        worstAjax.offer(ajax, atobFloor, size);
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8\n")
                   .arg(sizeName(size), -8)
                   .arg(int(literalFloor.size()), 5)
                   .arg(f, 10, 'f', 3)
                   .arg(y, 10, 'f', 3)
                   .arg(pairedRatio(youtube, literalFloor), 7, 'f', 2)
                   .arg(fa, 10, 'f', 3)
                   .arg(a, 10, 'f', 3)
                   .arg(pairedRatio(ajax, atobFloor), 7, 'f', 2);
        out.flush();
    }
    out << '\n';
    const auto result = [&out, &engine](const char *measure, const Worst &worst, const char *floorName) {
        if (worst.size == 0)
            return;
        out << QStringLiteral("result\tbridge (%1)\t%2, worst of 1 KiB-16 MiB (%3)\t%4\t%5\t%6\t%7\t<= 1.50\n")
                   .arg(engine, QLatin1String(measure), sizeName(worst.size), worst.bridge, worst.floor)
                   .arg(QLatin1String(floorName))
                   .arg(worst.ratio, 0, 'f', 2);
    };
    result("process_youtube hand-back", worstYoutube, "direct literal");
    result("process_ajax hand-back", worstAjax, "direct window.atob");
    // A wrong or missing answer is a fault of the bridge, not slowness.
    if (failed)
        out << "some answers did not reach the page with their full length\n";
    return failed ? 1 : 0;
}
