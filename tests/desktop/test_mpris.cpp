// The media controls as the desktop sees them: playerctl and plain D-Bus
// calls against the real executable on the stand-in chart page. (Without a
// session bus it plays as before: test_handoff_exit.)

#include "applicationprocess.h"
#include "chartservice.h"
#include "pagescript.h"
#include "testenvironment.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QtTest>

namespace {
const QString busName = QStringLiteral("org.mpris.MediaPlayer2.melodrift");
const QString objectPath = QStringLiteral("/org/mpris/MediaPlayer2");

// `playerctl -p melodrift` with these words.
QString playerctl(const QString &arguments)
{
    return ApplicationProcess::playerctl(arguments.split(QLatin1Char(' ')));
}

QString volumeOff(double expected)
{
    const double shown = playerctl(QStringLiteral("volume")).toDouble();
    return qAbs(shown - expected) < 0.02 ? QString() : QStringLiteral("volume %1, not %2").arg(shown).arg(expected);
}
} // namespace

class MprisTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void playerctlSteersTheListeningPlayer();
    void openedBeforeThePageHasLoaded();
    void nextIsOfferedOnlyOnTheChartPage();
    void propertiesChanged(const QString &, const QVariantMap &changed, const QStringList &);

private:
    QString media(const QString &file) const { return service.url(QStringLiteral("media/") + file).toString(); }

    ChartService service;
    QList<QVariantMap> announced;
};

void MprisTest::initTestCase()
{
    qInfo() << "Phonon back end:" << qgetenv("PHONON_BACKEND");
    QVERIFY2(service.start(), "the stand-in chart service did not start");
}

void MprisTest::playerctlSteersTheListeningPlayer()
{
    ApplicationProcess app;
    QVERIFY2(app.start(service.startPage()) && app.waitForControls(), qPrintable(app.output()));
    QDBusInterface root(busName, objectPath, QStringLiteral("org.mpris.MediaPlayer2"));
    QCOMPARE(root.property("Identity").toString(), QStringLiteral("Melodrift"));
    QCOMPARE(root.property("DesktopEntry").toString(), QStringLiteral("org.melodrift.Melodrift"));
    QCOMPARE(root.property("SupportedUriSchemes").toStringList(),
             (QStringList{QStringLiteral("http"), QStringLiteral("https")}));
    QVERIFY(root.property("CanQuit").toBool() && root.property("CanRaise").toBool());

    // Each song opened through the controls plays in the listening player,
    // and the second replaces the first with new metadata, announced: what
    // playerctl follows comes from PropertiesChanged.
    QProcess follow;
    follow.start(QStringLiteral("playerctl"),
                 QString(QStringLiteral("-p melodrift --follow metadata xesam:url")).split(QLatin1Char(' ')));
    QString followed;
    QString firstTrack;
    for (const QString &song : {QStringLiteral("copper-skies.ogg"), QStringLiteral("glass-harbour.ogg")}) {
        QCOMPARE(playerctl(QStringLiteral("open ") + media(song)), QString());
        QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Playing"), 20000);
        QCOMPARE(playerctl(QStringLiteral("metadata xesam:url")), media(song));
        QTRY_VERIFY_WITH_TIMEOUT((followed += QString::fromUtf8(follow.readAll())).contains(media(song)), 5000);
        QVERIFY(!playerctl(QStringLiteral("metadata xesam:title")).isEmpty());
        QVERIFY(playerctl(QStringLiteral("metadata mpris:length")).toLongLong() > 3000000);
        const QString track = playerctl(QStringLiteral("metadata mpris:trackid")).remove(QLatin1Char('\''));
        QVERIFY2(track.startsWith(QLatin1Char('/')) && track != firstTrack, qPrintable(track));
        firstTrack = track;
        // Paused, so the song does not end and move the page on.
        QCOMPARE(playerctl(QStringLiteral("play-pause")), QString());
        QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Paused"), 5000);
    }

    playerctl(QStringLiteral("position 1.5"));
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(playerctl(QStringLiteral("position")).toDouble() - 1.5) < 0.3, 5000);
    playerctl(QStringLiteral("volume 0.4"));
    QTRY_COMPARE_WITH_TIMEOUT(volumeOff(0.4), QString(), 5000);

    QDBusInterface player(busName, objectPath, QStringLiteral("org.mpris.MediaPlayer2.Player"));
    const QDBusMessage refused = player.call(QStringLiteral("OpenUri"), QStringLiteral("file:///etc/hostname"));
    QCOMPARE(refused.errorName(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));

    // Next: the page goes on from its item 0 to item 1, a video, once; its
    // new player keeps the volume chosen above, whatever the back end
    // reports as the video starts.
    service.fetch(QStringLiteral("requests?clear=1"));
    QCOMPARE(playerctl(QStringLiteral("next")), QString());
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("metadata xesam:url")), media(QStringLiteral("ocean-bars.ogv")),
                              20000);
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Playing"), 5000);
    QTest::qWait(1000);
    QCOMPARE(volumeOff(0.4), QString());
    QTest::qWait(800);
    QVERIFY(!service.fetch(QStringLiteral("requests")).contains("/media/paper-satellites.ogg"));
    QCOMPARE(app.output().count(QStringLiteral("Video play:")), 1);
    QCOMPARE(app.quit(), QString());

    // The next run starts with that volume, and keeps it as a song starts.
    ApplicationProcess again;
    QVERIFY2(again.start(service.startPage()) && again.waitForControls(), qPrintable(again.output()));
    QCOMPARE(volumeOff(0.4), QString());
    playerctl(QStringLiteral("open ") + media(QStringLiteral("copper-skies.ogg")));
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Playing"), 20000);
    QTest::qWait(1500);
    QCOMPARE(volumeOff(0.4), QString());
    playerctl(QStringLiteral("stop"));
    QCOMPARE(again.quit(), QString());
}

// The listening player is made once the page has loaded; a song opened
// through the controls sooner, while an image holds the load, plays all the same.
void MprisTest::openedBeforeThePageHasLoaded()
{
    ApplicationProcess app;
    QVERIFY2(app.start(service.page(QStringLiteral("<img src='/slow?ms=60000'>"))), qPrintable(app.output()));
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("open ") + media(QStringLiteral("low-tide.ogg"))), QString(),
                              10000);
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Playing"), 20000);
    QCOMPARE(playerctl(QStringLiteral("metadata xesam:url")), media(QStringLiteral("low-tide.ogg")));
    QCOMPARE(app.quit(), QString());
}

void MprisTest::propertiesChanged(const QString &, const QVariantMap &changed, const QStringList &)
{
    announced << changed;
}

// A page of another site does not hold Player, so Next cannot move it on:
// the desktop hears so as soon as that page arrives.
void MprisTest::nextIsOfferedOnlyOnTheChartPage()
{
    QUrl elsewhere = service.url(QStringLiteral("charts/v3.6w_pro/chart.css"));
    elsewhere.setHost(QStringLiteral("localhost"));
    ApplicationProcess app;
    QVERIFY2(
        app.start(service.page(QStringLiteral("<script>setTimeout(function () { location = '%1'; }, 3000);</script>")
                                   .arg(elsewhere.toString())))
            && app.waitForControls(),
        qPrintable(app.output()));
    QDBusInterface player(busName, objectPath, QStringLiteral("org.mpris.MediaPlayer2.Player"));
    // Once the chart page is shown: QtWebEngine names no page before its first document arrives.
    QTRY_VERIFY_WITH_TIMEOUT(player.property("CanGoNext").toBool(), 10000);
    QVERIFY(QDBusConnection::sessionBus().connect(
        busName, objectPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"),
        this, SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
    const auto nextWithdrawn = [this] {
        for (const QVariantMap &changed : qAsConst(announced)) {
            if (changed.contains(QStringLiteral("CanGoNext")) && !changed.value(QStringLiteral("CanGoNext")).toBool())
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(nextWithdrawn(), 15000);
    QVERIFY(!player.property("CanGoNext").toBool());
    QCOMPARE(app.quit(), QString());
}

MELODRIFT_PAGE_TEST_MAIN(MprisTest)
#include "test_mpris.moc"
