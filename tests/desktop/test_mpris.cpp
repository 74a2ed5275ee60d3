// The media controls as the desktop sees them: playerctl and plain D-Bus
// calls against the real executable on the stand-in chart page, and against
// the application in this process where a case plays media of its own.
// (Without a session bus it plays as before: test_handoff_exit.)

#include "applicationprocess.h"
#include "browserview.h"
#include "chartservice.h"
#include "mediaplayer.h"
#include "pagescript.h"
#include "playbacksuite.h"
#include "testenvironment.h"
#include "testmedia.h"
#include "x11windows.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QPointer>
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
    void hugeAddressesLeaveTheProgramRunning();
    void pausedSongMovedOnPlaysOnFromThere_data();
    void pausedSongMovedOnPlaysOnFromThere();
    void playerThatGoesLeavesTheControlsToTheCurrentOne();
    void laterStartsHandOverToTheRunningOne();
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
        // The first with a user name and password, which no client may read.
        QUrl opened(media(song));
        if (firstTrack.isEmpty()) {
            opened.setUserName(QStringLiteral("alice"));
            opened.setPassword(QStringLiteral("secret"));
        }
        QCOMPARE(playerctl(QStringLiteral("open ") + opened.toString()), QString());
        QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Playing"), 20000);
        QCOMPARE(playerctl(QStringLiteral("metadata xesam:url")), media(song));
        QTRY_VERIFY_WITH_TIMEOUT((followed += QString::fromUtf8(follow.readAll())).contains(media(song)), 5000);
        QVERIFY(!playerctl(QStringLiteral("metadata xesam:title")).isEmpty());
        QVERIFY(playerctl(QStringLiteral("metadata mpris:length")).toLongLong() > 3000000);
        const QString track = playerctl(QStringLiteral("metadata mpris:trackid")).remove(QLatin1Char('\''));
        QVERIFY2(track.startsWith(QLatin1Char('/')) && track != firstTrack, qPrintable(track));
        QVERIFY2(!followed.contains(QStringLiteral("secret")), qPrintable(followed));
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
    // Waited for, asserting that the volume holds as the video starts, and
    // that the page does not move on again.
    QTest::qWait(1000);
    QCOMPARE(volumeOff(0.4), QString());
    QTest::qWait(800);
    QVERIFY(!service.fetch(QStringLiteral("requests")).contains("/media/paper-satellites.ogg"));
    QCOMPARE(app.output().count(QStringLiteral("Video play:")), 1);

    // A burst of a thousand moves the page on once, to item 2: the calls
    // that come while the move is under way are dropped.
    const QDBusMessage next = QDBusMessage::createMethodCall(busName, objectPath, player.interface(), "Next");
    for (int i = 0; i < 1000; ++i)
        QVERIFY(QDBusConnection::sessionBus().send(next));
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("metadata xesam:url")),
                              media(QStringLiteral("paper-satellites.ogg")), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Playing"), 5000);
    QTest::qWait(1500);
    QCOMPARE(app.output().count(QStringLiteral("Signal Received")), 2);
    QVERIFY(!service.fetch(QStringLiteral("requests")).contains("/media/low-tide.ogg"));
    QCOMPARE(app.quit(), QString());

    // The next run starts with that volume, and keeps it as a song starts.
    ApplicationProcess again;
    QVERIFY2(again.start(service.startPage()) && again.waitForControls(), qPrintable(again.output()));
    QCOMPARE(volumeOff(0.4), QString());
    playerctl(QStringLiteral("open ") + media(QStringLiteral("copper-skies.ogg")));
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Playing"), 20000);
    // Waited for, asserting that the volume holds as the song starts.
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

// X refuses a window title of megabytes and ends the program; the page and
// any client on the bus could hand in such an address, and one of 17 MB in
// the query kept the program busy for a minute and a half. (The command-line
// clients cannot carry 17 MB in an argument: the call is made from here.)
void MprisTest::hugeAddressesLeaveTheProgramRunning()
{
    const QString huge(17 << 20, QLatin1Char('a'));
    ApplicationProcess app;
    QVERIFY2(app.start(service.page(QStringLiteral("<script>Player.showMedia('%1' + new Array(17 << 20).join('a')"
                                                   " + '.ogv'); console.log('showMedia returned');</script>")
                                        .arg(media(QString())))),
             qPrintable(app.output()));
    // Read what it prints meanwhile: a blocking client call must not find
    // it waiting for room in the pipe.
    QTRY_VERIFY2_WITH_TIMEOUT(app.output().contains(QStringLiteral("showMedia returned")),
                              qPrintable(app.output().right(300)), 30000);
    QVERIFY2(app.waitForControls(), qPrintable(app.output().right(1000)));
    QDBusInterface player(busName, objectPath, QStringLiteral("org.mpris.MediaPlayer2.Player"));
    player.setTimeout(60000);
    const QStringList uris{media(huge + QStringLiteral(".ogg")), media(QStringLiteral("low-tide.ogg")) + '?' + huge};
    for (const QString &uri : uris) {
        const QDBusMessage refused = player.call(QStringLiteral("OpenUri"), uri);
        QCOMPARE(refused.errorName(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
    }
    QCOMPARE(playerctl(QStringLiteral("status")), QStringLiteral("Stopped"));
    QCOMPARE(app.quit(), QString());
    QCOMPARE(app.output().count(QStringLiteral("longer than 64 KiB")), 3);
}

void MprisTest::pausedSongMovedOnPlaysOnFromThere_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("FLAC") << QStringLiteral("long.flac");
    // The chart's songs are Ogg Vorbis.
    QTest::newRow("Ogg Vorbis") << QStringLiteral("long.ogg");
}

// Paused, the song is moved on from the desktop's controls (`playerctl
// position 6+`): it stays paused at its new place, and plays on from there
// when told to. Under GStreamer the jump of the clock was once taken for
// playback resumed (status Playing, and "play" then did nothing); under VLC
// the back end's buffering after the seek showed as playing.
void MprisTest::pausedSongMovedOnPlaysOnFromThere()
{
    QFETCH(QString, file);
    const QString song = TestMedia::song(TestSupport::environment().root(), file, 30, QStringLiteral("Long Song"));
    QVERIFY(!song.isEmpty());
    Handoff::App app;
    QVERIFY2(app.open(service.startPage(), QStringLiteral("window.chartReady === true")),
             "the main window did not show the start page");
    app.view()->listeningPlayer()->playFile(song);
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Playing"), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(playerctl(QStringLiteral("position")).toDouble() > 1.5, 20000);
    QCOMPARE(playerctl(QStringLiteral("pause")), QString());
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Paused"), 5000);
    const double pausedAt = playerctl(QStringLiteral("position")).toDouble();

    QCOMPARE(playerctl(QStringLiteral("position 6+")), QString());
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(playerctl(QStringLiteral("position")).toDouble() - (pausedAt + 6)) < 0.3, 5000);
    // Waits out the time the clock is read in, asserting that the pause
    // holds meanwhile.
    QVERIFY2(!QTest::qWaitFor([] { return playerctl(QStringLiteral("status")) != QLatin1String("Paused"); }, 2000),
             qPrintable(playerctl(QStringLiteral("status"))));

    QCOMPARE(playerctl(QStringLiteral("play")), QString());
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Playing"), 5000);
    // VLC's own Ogg demuxer cannot seek in such a song: it ends it or plays
    // on from elsewhere (docs/player-backends.md).
    if (qgetenv("PHONON_BACKEND") == "phonon_vlc" && file.endsWith(QLatin1String(".ogg")))
        return;
    QTRY_VERIFY2_WITH_TIMEOUT(playerctl(QStringLiteral("position")).toDouble() > pausedAt + 7,
                              qPrintable(QStringLiteral("at %1 s after a pause at %2 s and a seek 6 s on")
                                             .arg(playerctl(QStringLiteral("position")))
                                             .arg(pausedAt)),
                              20000);
}

// A video player that is no longer current and has stopped goes; the
// controls, which showed it, go on with the current one.
void MprisTest::playerThatGoesLeavesTheControlsToTheCurrentOne()
{
    Handoff::App app;
    QVERIFY2(app.open(service.startPage(), QStringLiteral("window.chartReady === true")),
             "the main window did not show the start page");
    // The page stays where it is when a player is done.
    app.js(QStringLiteral("player = function () {};"));
    app.view()->showMedia(media(QStringLiteral("ocean-bars.ogv")));
    const QPointer<MediaPlayer> first = app.view()->currentPlayer();
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Playing"), 20000);
    QCOMPARE(playerctl(QStringLiteral("stop")), QString());
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Stopped"), 5000);

    app.view()->showMedia(media(QStringLiteral("bouncing-light.ogv")));
    QTRY_VERIFY_WITH_TIMEOUT(!first, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("metadata xesam:url")),
                              media(QStringLiteral("bouncing-light.ogv")), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Playing"), 20000);
    QCOMPARE(playerctl(QStringLiteral("pause")), QString());
    QTRY_COMPARE_WITH_TIMEOUT(app.view()->currentPlayer()->state(), Phonon::PausedState, 5000);
}

// A later start on the same session bus hands over to the running one and
// ends at once: the running window comes forward, over a window of this
// suite's own, and an http(s) address plays in its listening player. Any
// other address is refused on standard error with a failure status, and the
// window still comes forward. Only one Melodrift shows on the bus. Without a
// session bus a start is on its own, as before.
void MprisTest::laterStartsHandOverToTheRunningOne()
{
    ApplicationProcess app;
    QVERIFY2(app.start(service.startPage()) && app.waitForControls(), qPrintable(app.output()));
    const auto mainWindow = [&app] { return X11Windows::titled(app.pid(), QStringLiteral("melodrift")); };
    QTRY_VERIFY_WITH_TIMEOUT(mainWindow().mapped, 10000);

    struct Later
    {
        QString address;
        int exitCode;
    };
    const QString song = media(QStringLiteral("copper-skies.ogg"));
    const Later starts[] = {{QString(), 0},
                            {song, 0},
                            {QStringLiteral("file:///etc/hostname"), 1},
                            {QStringLiteral("javascript:alert(1)"), 1}};
    QWidget cover;
    cover.setWindowTitle(QStringLiteral("cover"));
    cover.setGeometry(0, 0, 700, 500);
    cover.show();
    QVERIFY(QTest::qWaitForWindowExposed(&cover));
    const auto coverWindow = [] {
        return X11Windows::titled(QCoreApplication::applicationPid(), QStringLiteral("cover"));
    };
    const auto covered = [&] { return coverWindow().stacking > mainWindow().stacking; };
    for (const Later &later : starts) {
        X11Windows::raise(coverWindow().id);
        QVERIFY(covered());
        QProcess start;
        start.start(ApplicationProcess::program(),
                    later.address.isEmpty() ? QStringList() : QStringList{later.address});
        QTRY_COMPARE_WITH_TIMEOUT(start.state(), QProcess::NotRunning, 20000);
        const QString said = QString::fromLocal8Bit(start.readAllStandardError());
        QVERIFY2(start.exitStatus() == QProcess::NormalExit && start.exitCode() == later.exitCode,
                 qPrintable(QStringLiteral("%1: exit code %2, %3").arg(later.address).arg(start.exitCode()).arg(said)));
        QCOMPARE(said.contains(
                     QStringLiteral("Melodrift plays only http and https addresses, not \"%1\".").arg(later.address)),
                 later.exitCode != 0);
        QTRY_VERIFY2(!covered(), qPrintable(later.address));
        if (later.address == song) {
            QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Playing"), 20000);
            QCOMPARE(playerctl(QStringLiteral("metadata xesam:url")), song);
            QCOMPARE(playerctl(QStringLiteral("pause")), QString());
            QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Paused"), 5000);
        }
    }
    // The refused ones changed nothing.
    QCOMPARE(playerctl(QStringLiteral("metadata xesam:url")), song);
    QCOMPARE(playerctl(QStringLiteral("status")), QStringLiteral("Paused"));
    QProcess players;
    players.start(QStringLiteral("playerctl"), {QStringLiteral("--list-all")});
    QTRY_COMPARE_WITH_TIMEOUT(players.state(), QProcess::NotRunning, 10000);
    QCOMPARE(players.readAllStandardOutput().trimmed(), QByteArray("melodrift"));

    ApplicationProcess alone;
    QProcessEnvironment noBus;
    noBus.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
    QVERIFY(alone.start(service.startPage(), noBus));
    QTRY_VERIFY_WITH_TIMEOUT(X11Windows::titled(alone.pid(), QStringLiteral("melodrift")).mapped, 20000);
    QVERIFY(alone.output().contains(QStringLiteral("No session bus: no desktop media controls")));
    QCOMPARE(app.quit(), QString());
}

MELODRIFT_PAGE_TEST_MAIN(MprisTest)
#include "test_mpris.moc"
