// The screen is kept awake while a video is seen playing, and only then:
// python3-dbusmock stands in for the screen saver or, without one, the
// desktop portal, and tells which calls it received.

#include "browserview.h"
#include "busstandin.h"
#include "chartservice.h"
#include "mediaplayer.h"
#include "playbacksuite.h"
#include "testenvironment.h"
#include "testmedia.h"

#include <QtTest>

namespace {
enum class Then { Pause, Stop, Close };
const QString screenSaverInhibit = QStringLiteral("Inhibit \"Melodrift\" \"Playing a video\"");
const QString portalInhibit = QStringLiteral("Inhibit \"\" 8 {\"reason\": \"Playing a video\"}");
} // namespace

Q_DECLARE_METATYPE(Then)

class InhibitTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void videoKeepsTheScreenAwakeUntilItStops_data();
    void videoKeepsTheScreenAwakeUntilItStops();

private:
    ChartService service;
    QString video;
    QString song;
};

void InhibitTest::initTestCase()
{
    qInfo() << "Phonon back end:" << qgetenv("PHONON_BACKEND");
    QVERIFY2(service.start(), "the stand-in chart service did not start");
    video = TestMedia::video(TestSupport::environment().root(), QStringLiteral("long.ogv"), 900);
    song = TestMedia::song(TestSupport::environment().root(), QStringLiteral("long.ogg"), 30);
    QVERIFY(!video.isEmpty() && !song.isEmpty());
}

void InhibitTest::videoKeepsTheScreenAwakeUntilItStops_data()
{
    QTest::addColumn<int>("standIn");
    QTest::addColumn<bool>("fullScreenVideo");
    QTest::addColumn<bool>("isVideo");
    QTest::addColumn<Then>("then");
    QTest::addColumn<QStringList>("calls");

    const int saver = BusStandIn::ScreenSaver;
    const QString unInhibit = QStringLiteral("UnInhibit %1");
    QTest::newRow("pause, play, exit") << saver << true << true << Then::Pause
        << QStringList{screenSaverInhibit, unInhibit.arg(1), screenSaverInhibit, unInhibit.arg(2)};
    QTest::newRow("stop") << saver << true << true << Then::Stop << QStringList{screenSaverInhibit, unInhibit.arg(1)};
    QTest::newRow("exit while playing") << saver << true << true << Then::Close << QStringList{screenSaverInhibit, unInhibit.arg(1)};
    QTest::newRow("portal, stop") << int(BusStandIn::Portal) << true << true << Then::Stop
        << QStringList{portalInhibit, QStringLiteral("Close")};
    QTest::newRow("portal, exit while playing") << int(BusStandIn::Portal) << true << true << Then::Close
        << QStringList{portalInhibit, QStringLiteral("Close")};
    QTest::newRow("a song never") << saver << false << false << Then::Close << QStringList();
    QTest::newRow("a video only heard, never") << saver << false << true << Then::Close << QStringList();
}

void InhibitTest::videoKeepsTheScreenAwakeUntilItStops()
{
    QFETCH(int, standIn);
    QFETCH(bool, fullScreenVideo);
    QFETCH(bool, isVideo);
    QFETCH(Then, then);
    QFETCH(QStringList, calls);

    BusStandIn desktop(static_cast<BusStandIn::Kind>(standIn));
    QVERIFY2(desktop.start(), "python3-dbusmock did not come up");
    Handoff::App app;
    QVERIFY(app.open(service.startPage(), QStringLiteral("window.chartReady === true")));
    // The page may hand players network media only; the test's own long
    // media go in through the player itself.
    if (fullScreenVideo)
        app.view()->showMedia(service.url(QStringLiteral("media/ocean-bars.ogv")));
    MediaPlayer *player = app.view()->currentPlayer();
    player->playFile(isVideo ? video : song);
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), Phonon::PlayingState, 20000);
    QTest::qWait(1500);

    // Stopped as the media object is, which leaves the page where it is.
    if (then == Then::Stop)
        player->media()->stop();
    if (then == Then::Pause) {
        player->pause();
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), Phonon::PausedState, 5000);
        QTest::qWait(1000);
        player->play();
    }
    QTest::qWait(1500);
    app.close();
    QTRY_COMPARE_WITH_TIMEOUT(desktop.calls(), calls, 5000);
}

MELODRIFT_TEST_MAIN(InhibitTest)
#include "test_inhibit.moc"
