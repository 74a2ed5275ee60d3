// Downloads started by page script: Player.start_download takes the file name
// first and the address second, makes a window of its own for every call, and
// the bytes on disk are the bytes the chart service served.

#include "browserview.h"
#include "chartservice.h"
#include "httpwindow.h"
#include "pagescript.h"
#include "playbacksuite.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace Handoff;

class DownloadRequestTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void chartDownloadSavesServedBytes();
    void argumentsAreFileNameThenAddress();
    void twoRequestsRunInTwoWindows();

private:
    static QList<HttpWindow *> windows();
    static QByteArray savedBytes(const QString &name);
    static bool allFinished(const QList<HttpWindow *> &list);

    ChartService service;
    App app;
};

void DownloadRequestTest::initTestCase()
{
    QVERIFY2(service.start(), "the stand-in chart service did not start");
    QVERIFY(app.open(service.startPage(), QStringLiteral("window.chartReady === true")));
}

void DownloadRequestTest::cleanup()
{
    // Windows are never deleted by the application; the test must not let
    // one's transfer run into the next case.
    QTRY_VERIFY_WITH_TIMEOUT(allFinished(windows()), 30000);
    qDeleteAll(windows());
    QDir(TestSupport::environment().downloadDirectory()).removeRecursively();
}

QList<HttpWindow *> DownloadRequestTest::windows()
{
    QList<HttpWindow *> found;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<HttpWindow *>(widget))
            found.append(window);
    }
    return found;
}

QByteArray DownloadRequestTest::savedBytes(const QString &name)
{
    QFile file(TestSupport::environment().downloadDirectory() + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool DownloadRequestTest::allFinished(const QList<HttpWindow *> &list)
{
    for (HttpWindow *window : list) {
        if (window->isDownloading())
            return false;
    }
    return true;
}

void DownloadRequestTest::chartDownloadSavesServedBytes()
{
    const QString fileName = app.js(QStringLiteral("chart.items()[0].fileName")).toString();
    const QString fileUrl = app.js(QStringLiteral("chart.items()[0].fileUrl")).toString();
    QVERIFY2(!fileName.isEmpty() && !fileUrl.isEmpty(), "the chart's first item offers no download");

    app.js(QStringLiteral("chart.download(0)"));
    QTRY_COMPARE_WITH_TIMEOUT(windows().size(), 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(allFinished(windows()), 30000);

    const QByteArray served = service.fetch(QUrl(fileUrl).path().mid(1));
    QVERIFY(served.size() > 1000);
    QCOMPARE(savedBytes(fileName), served);
    // The window itself stays hidden; only its prompts and progress show.
    QVERIFY(!windows().first()->isVisible());
}

void DownloadRequestTest::argumentsAreFileNameThenAddress()
{
    const QUrl source = service.url(QStringLiteral("answer?hex=736f6e67"));
    app.js(QStringLiteral("Player.start_download('song.mp3', '%1')").arg(source.toString()));
    QTRY_COMPARE_WITH_TIMEOUT(savedBytes(QStringLiteral("song.mp3")), QByteArray("song"), 20000);
    // Nothing was saved under a name made from the address.
    QCOMPARE(QDir(TestSupport::environment().downloadDirectory()).entryList(QDir::Files),
             QStringList{QStringLiteral("song.mp3")});
}

void DownloadRequestTest::twoRequestsRunInTwoWindows()
{
    // Slow enough that the second starts while the first still runs.
    const QString slow = service.url(QStringLiteral("answer?size=1048576&pause_ms=40")).toString();
    const QString quick = service.url(QStringLiteral("answer?size=200000")).toString();
    app.js(QStringLiteral("Player.start_download('first.bin', '%1');"
                          "Player.start_download('second.bin', '%2');")
               .arg(slow, quick));

    QTRY_COMPARE_WITH_TIMEOUT(windows().size(), 2, 5000);
    QVERIFY2(windows().at(0)->isDownloading() || windows().at(1)->isDownloading(),
             "both transfers ended before the test could see them run");
    QTRY_VERIFY_WITH_TIMEOUT(allFinished(windows()), 60000);

    QCOMPARE(savedBytes(QStringLiteral("first.bin")), service.fetch(QStringLiteral("answer?size=1048576")));
    QCOMPARE(savedBytes(QStringLiteral("second.bin")), service.fetch(QStringLiteral("answer?size=200000")));
}

MELODRIFT_PAGE_TEST_MAIN(DownloadRequestTest)
#include "test_downloadrequest.moc"
