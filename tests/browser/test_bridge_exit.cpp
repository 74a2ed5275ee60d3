// Player.exit() on the real executable: the process ends with code 0, by
// itself and soon, even while lookups are still waiting for their answers.

#include "applicationprocess.h"
#include "chartservice.h"
#include "pagescript.h"
#include "testenvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>
#include <QtTest>

class BridgeExitTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void exitWhileLookupPending_data();
    void exitWhileLookupPending();

private:
    QStringList requestedPaths() const;

    ChartService service;
};

void BridgeExitTest::initTestCase()
{
    QVERIFY2(QFileInfo(QStringLiteral(MELODRIFT_BINARY_DIR "/melodrift")).isExecutable(),
             "the melodrift executable is not built");
    QVERIFY2(service.start(), "the stand-in chart service did not start");
}

void BridgeExitTest::cleanupTestCase()
{
    service.stop();
}

QStringList BridgeExitTest::requestedPaths() const
{
    QStringList paths;
    const QJsonArray entries = QJsonDocument::fromJson(service.fetch(QStringLiteral("requests"))).array();
    for (const QJsonValue &entry : entries)
        paths.append(entry.toObject().value(QStringLiteral("path")).toString());
    return paths;
}

void BridgeExitTest::exitWhileLookupPending_data()
{
    QTest::addColumn<bool>("youtube");
    QTest::addColumn<bool>("ajax");
    QTest::addColumn<QString>("more"); // further query items of the page
    QTest::addColumn<int>("exitAfterMs");

    const QString song =
        QString::fromLatin1(QUrl::toPercentEncoding(service.url(QStringLiteral("media/copper-skies.ogg")).toString()));
    const QString video =
        QString::fromLatin1(QUrl::toPercentEncoding(service.url(QStringLiteral("media/ocean-bars.ogv")).toString()));
    const QString slowFile =
        QString::fromLatin1(QUrl::toPercentEncoding(service.url(QStringLiteral("slow?ms=60000&body=file")).toString()));

    QTest::newRow("youtube lookup pending") << true << false << QString() << 1000;
    QTest::newRow("ajax lookup pending") << false << true << QString() << 1000;
    QTest::newRow("both pending") << true << true << QString() << 1000;
    QTest::newRow("exit in the same turn as the lookups") << true << true << QString() << 0;
    QTest::newRow("lookup pending, song playing") << true << false << QStringLiteral("play=") + song << 2000;
    QTest::newRow("lookup pending, video shown") << true << false << QStringLiteral("show=") + video << 2000;
    QTest::newRow("lookup pending, download running")
        << true << false << QStringLiteral("download=") + slowFile << 2000;
}

void BridgeExitTest::exitWhileLookupPending()
{
    QFETCH(bool, youtube);
    QFETCH(bool, ajax);
    QFETCH(QString, more);
    QFETCH(int, exitAfterMs);

    // Far longer than the bound below: no answer can come before the exit.
    const QString slow = service.url(QStringLiteral("slow?ms=60000&body=late")).toString();
    service.fetch(QStringLiteral("requests?clear=1"));

    QUrlQuery query;
    if (youtube)
        query.addQueryItem(QStringLiteral("youtube"), QString::fromLatin1(QUrl::toPercentEncoding(slow)));
    if (ajax)
        query.addQueryItem(QStringLiteral("ajax"), QString::fromLatin1(QUrl::toPercentEncoding(slow)));
    if (!more.isEmpty()) {
        const int equals = more.indexOf(QLatin1Char('='));
        query.addQueryItem(more.left(equals), more.mid(equals + 1));
    }
    query.addQueryItem(QStringLiteral("exit_ms"), QString::number(exitAfterMs));
    const QUrl page = service.pageFromFile(QStringLiteral("tests/browser/bridge_exit.html"), query);

    ApplicationProcess app;
    QVERIFY(app.start(page));
    const QString failure = app.finish(20000);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));

    if (exitAfterMs > 0) {
        // The page did run and the lookups did reach the service, so they
        // were pending when the program ended.
        const int expected = int(youtube) + int(ajax) + int(more.startsWith(QLatin1String("download=")));
        QTRY_COMPARE_WITH_TIMEOUT(requestedPaths().filter(QStringLiteral("/slow?")).size(), expected, 5000);
        if (more.startsWith(QLatin1String("play=")) || more.startsWith(QLatin1String("show=")))
            QVERIFY(!requestedPaths().filter(QStringLiteral("/media/")).isEmpty());
    }
}

MELODRIFT_PAGE_TEST_MAIN(BridgeExitTest)
#include "test_bridge_exit.moc"
