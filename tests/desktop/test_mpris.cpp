// The media controls as the desktop sees them: playerctl and plain D-Bus
// calls against the real executable on the stand-in chart page.

#include "applicationprocess.h"
#include "applicationrun.h"
#include "chartservice.h"
#include "testenvironment.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QUrlQuery>
#include <QtTest>

namespace {
const QString busName = QStringLiteral("org.mpris.MediaPlayer2.melodrift");
const QString objectPath = QStringLiteral("/org/mpris/MediaPlayer2");

QString metadata(const QString &key)
{
    return ApplicationProcess::playerctl({QStringLiteral("metadata"), key});
}
} // namespace

class MprisTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void playerctlSteersTheListeningPlayer();
    void withoutSessionBusItPlaysAsBefore();
    void propertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &);

private:
    QString media(const QString &file) const { return service.url(QStringLiteral("media/") + file).toString(); }
    bool requested(const QString &file) const;

    ChartService service;
    QStringList announcedUrls;
};

void MprisTest::initTestCase()
{
    qInfo() << "Phonon back end:" << qgetenv("PHONON_BACKEND");
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "no private session bus: run under dbus-run-session");
    QVERIFY2(service.start(), "the stand-in chart service did not start");
    QDBusConnection::sessionBus().connect(busName, objectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                          QStringLiteral("PropertiesChanged"), this,
                                          SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
}

void MprisTest::propertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &)
{
    const QVariant metadata = changed.value(QStringLiteral("Metadata"));
    if (interface.endsWith(QLatin1String("Player")) && metadata.isValid())
        announcedUrls.append(qdbus_cast<QVariantMap>(metadata).value(QStringLiteral("xesam:url")).toString());
}

bool MprisTest::requested(const QString &file) const
{
    return service.fetch(QStringLiteral("requests")).contains("/media/" + file.toUtf8());
}

void MprisTest::playerctlSteersTheListeningPlayer()
{
    ApplicationProcess app;
    QVERIFY2(app.start(service.startPage()), qPrintable(app.output()));
    QDBusInterface root(busName, objectPath, QStringLiteral("org.mpris.MediaPlayer2"));
    QCOMPARE(root.property("Identity").toString(), QStringLiteral("Melodrift"));
    QCOMPARE(root.property("DesktopEntry").toString(), QStringLiteral("org.melodrift.Melodrift"));
    QCOMPARE(root.property("SupportedUriSchemes").toStringList(), (QStringList{QStringLiteral("http"), QStringLiteral("https")}));
    QVERIFY(root.property("CanQuit").toBool() && root.property("CanRaise").toBool());

    // Each song opened through the controls plays in the listening player,
    // and the second replaces the first with new metadata, announced.
    QString firstTrack;
    for (const QString &song : {QStringLiteral("copper-skies.ogg"), QStringLiteral("glass-harbour.ogg")}) {
        announcedUrls.clear();
        QCOMPARE(ApplicationProcess::playerctl({QStringLiteral("open"), media(song)}), QString());
        QTRY_COMPARE_WITH_TIMEOUT(ApplicationProcess::playerctl({QStringLiteral("status")}), QStringLiteral("Playing"), 20000);
        QCOMPARE(metadata(QStringLiteral("xesam:url")), media(song));
        QTRY_VERIFY_WITH_TIMEOUT(announcedUrls.contains(media(song)), 5000);
        QVERIFY(!metadata(QStringLiteral("xesam:title")).isEmpty());
        QVERIFY(metadata(QStringLiteral("mpris:length")).toLongLong() > 3000000);
        const QString track = metadata(QStringLiteral("mpris:trackid")).remove(QLatin1Char('\''));
        QVERIFY2(track.startsWith(QLatin1Char('/')) && track != firstTrack, qPrintable(track));
        firstTrack = track;
        // Paused, so the song does not end and move the page on.
        QCOMPARE(ApplicationProcess::playerctl({QStringLiteral("play-pause")}), QString());
        QTRY_COMPARE_WITH_TIMEOUT(ApplicationProcess::playerctl({QStringLiteral("status")}), QStringLiteral("Paused"), 5000);
    }

    ApplicationProcess::playerctl({QStringLiteral("position"), QStringLiteral("1.5")});
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(ApplicationProcess::playerctl({QStringLiteral("position")}).toDouble() - 1.5) < 0.3, 5000);
    ApplicationProcess::playerctl({QStringLiteral("volume"), QStringLiteral("0.4")});
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(ApplicationProcess::playerctl({QStringLiteral("volume")}).toDouble() - 0.4) < 0.02, 5000);

    QDBusInterface player(busName, objectPath, QStringLiteral("org.mpris.MediaPlayer2.Player"));
    const QDBusMessage refused = player.call(QStringLiteral("OpenUri"), QStringLiteral("file:///etc/hostname"));
    QCOMPARE(refused.errorName(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));

    // Next: the page goes on from its item 0 to item 1, a video, once.
    service.fetch(QStringLiteral("requests?clear=1"));
    QCOMPARE(ApplicationProcess::playerctl({QStringLiteral("next")}), QString());
    QTRY_COMPARE_WITH_TIMEOUT(metadata(QStringLiteral("xesam:url")), media(QStringLiteral("ocean-bars.ogv")), 20000);
    QTest::qWait(2000);
    QVERIFY(!requested(QStringLiteral("paper-satellites.ogg")));
    QCOMPARE(app.output().count(QStringLiteral("Video play:")), 1);

    const QString quitting = app.quit();
    QVERIFY2(quitting.isEmpty(), qPrintable(quitting));
}

void MprisTest::withoutSessionBusItPlaysAsBefore()
{
    const QString song = QStringLiteral("low-tide.ogg");
    QUrl page = service.url(QStringLiteral("status/200"));
    page.setQuery(QUrlQuery{{QStringLiteral("type"), QStringLiteral("text/html")},
                            {QStringLiteral("body"), QString::fromLatin1(QUrl::toPercentEncoding(
                                 QStringLiteral("<script>Player.play_link('%1');"
                                                "setTimeout(function () { Player.exit(); }, 3000);</script>")
                                     .arg(media(song))))}});
    service.fetch(QStringLiteral("requests?clear=1"));
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    const ApplicationRun run = ApplicationRun::on(page, 40000);
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);

    const QString failure = run.failure(30000);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(run.output.count(QStringLiteral("No session bus")), 1);
    QVERIFY(requested(song));
}

MELODRIFT_TEST_MAIN(MprisTest)
#include "test_mpris.moc"
