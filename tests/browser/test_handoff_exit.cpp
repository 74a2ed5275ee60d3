// The real executable plays loopback media for a page served over http and
// still ends when that page calls Player.exit(), here on a desktop without a
// session bus (which it says once, and plays as it would with one). Under
// the GStreamer back end the web engine's own HTTP source, if it got into a
// player's pipeline, would hold the GUI thread: no page timer would run and
// the process would never end. The media must also have been fetched by the
// back end itself.

#include "applicationprocess.h"
#include "chartservice.h"
#include "pagescript.h"
#include "testenvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

struct Request
{
    QString path;
    QString userAgent;
};

} // namespace

class HandoffExitTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void exitsWhilePlaying_data();
    void exitsWhilePlaying();

private:
    QList<Request> requests() const;

    ChartService service;
};

void HandoffExitTest::initTestCase()
{
    qInfo() << "Phonon back end:" << qgetenv("PHONON_BACKEND");
    QVERIFY2(QFileInfo(QStringLiteral(MELODRIFT_BINARY_DIR "/melodrift")).isExecutable(),
             "the melodrift executable is not built");
    QVERIFY2(service.start(), "the stand-in chart service did not start");
}

void HandoffExitTest::cleanupTestCase()
{
    service.stop();
}

QList<Request> HandoffExitTest::requests() const
{
    QList<Request> list;
    const QJsonArray entries = QJsonDocument::fromJson(service.fetch(QStringLiteral("requests"))).array();
    for (const QJsonValue &entry : entries) {
        const QJsonObject object = entry.toObject();
        list.append(
            {object.value(QStringLiteral("path")).toString(), object.value(QStringLiteral("user_agent")).toString()});
    }
    return list;
}

void HandoffExitTest::exitsWhilePlaying_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("media");

    const QString song = service.url(QStringLiteral("media/copper-skies.ogg")).toString();
    const QString video = service.url(QStringLiteral("media/ocean-bars.ogv")).toString();
    QTest::newRow("play_link in the hidden first player")
        << QStringLiteral("Player.play_link('%1');"
                          "setTimeout(function () { Player.exit(); }, 4000);")
               .arg(song)
        << QStringList{QStringLiteral("/media/copper-skies.ogg")};
    QTest::newRow("showMedia in a full-screen player")
        << QStringLiteral("Player.showMedia('%1');"
                          "setTimeout(function () { Player.exit(); }, 4000);")
               .arg(video)
        << QStringList{QStringLiteral("/media/ocean-bars.ogv")};
    QTest::newRow("play_link, then showMedia while the song plays")
        << QStringLiteral("Player.play_link('%1');"
                          "setTimeout(function () { Player.showMedia('%2'); }, 1500);"
                          "setTimeout(function () { Player.exit(); }, 4500);")
               .arg(song, video)
        << QStringList{QStringLiteral("/media/copper-skies.ogg"), QStringLiteral("/media/ocean-bars.ogv")};
}

void HandoffExitTest::exitsWhilePlaying()
{
    QFETCH(QString, script);
    QFETCH(QStringList, media);

    service.fetch(QStringLiteral("requests?clear=1"));
    // A page of the service's own host: the web engine has loaded an http
    // page with its network stack before any player starts.
    const QUrl page = service.page(QStringLiteral("<html><body style='background:black'><script>") + script
                                   + QStringLiteral("</script></body></html>"));

    QProcessEnvironment noBus;
    noBus.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
    ApplicationProcess app;
    QVERIFY(app.start(page, noBus));
    const QString failure = app.finish(30000);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QString output = app.output();
    QCOMPARE(output.count(QStringLiteral("No session bus")), 1);

    // The page ran, the media were asked for, and by the back end rather
    // than by the web engine (whose requests carry the page's user agent).
    const QList<Request> seen = requests();
    QString pageAgent;
    for (const Request &request : seen) {
        if (request.path.startsWith(QLatin1String("/status/200")))
            pageAgent = request.userAgent;
    }
    QVERIFY2(!pageAgent.isEmpty(), "the page was not loaded");
    for (const QString &path : media) {
        int fetched = 0;
        for (const Request &request : seen) {
            if (request.path != path)
                continue;
            ++fetched;
            QVERIFY2(request.userAgent != pageAgent,
                     qPrintable(path + QStringLiteral(" was fetched by the web engine")));
        }
        QVERIFY2(fetched > 0, qPrintable(path + QStringLiteral(" was never fetched")));
    }
    if (output.contains(QLatin1String("Video play:")) != script.contains(QLatin1String("showMedia")))
        QFAIL(qPrintable(QStringLiteral("unexpected debug output:\n") + output));
}

MELODRIFT_PAGE_TEST_MAIN(HandoffExitTest)
#include "test_handoff_exit.moc"
