// The screen is kept awake while a video is seen playing, and only then:
// python3-dbusmock stands in for the screen saver or, without one, the
// desktop portal, and tells which calls it received.

#include "browserview.h"
#include "busstandin.h"
#include "mediaplayer.h"
#include "pagescript.h"
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

class InhibitTest : public Handoff::PlaybackSuite
{
    Q_OBJECT

private slots:
    void videoKeepsTheScreenAwakeUntilItStops_data();
    void videoKeepsTheScreenAwakeUntilItStops();
};

void InhibitTest::videoKeepsTheScreenAwakeUntilItStops_data()
{
    QTest::addColumn<int>("standIn");
    QTest::addColumn<bool>("seen"); // in a video player of its own, or only heard in the listening player
    QTest::addColumn<QString>("file");
    QTest::addColumn<Then>("then");
    QTest::addColumn<QStringList>("calls");

    const QString dir = TestSupport::environment().root();
    const QString video = TestMedia::video(dir, QStringLiteral("long.ogv"), 900, true);
    const QString song = TestMedia::song(dir, QStringLiteral("long.ogg"), 30);
    const int saver = BusStandIn::ScreenSaver;
    const QString unInhibit = QStringLiteral("UnInhibit %1");
    // A video still playing at the exit is released by the exit.
    QTest::newRow("pause, play, exit") << saver << true << video << Then::Pause
                                       << QStringList{screenSaverInhibit, unInhibit.arg(1), screenSaverInhibit,
                                                      unInhibit.arg(2)};
    QTest::newRow("stop") << saver << true << video << Then::Stop << QStringList{screenSaverInhibit, unInhibit.arg(1)};
    QTest::newRow("portal, pause, play, exit")
        << int(BusStandIn::Portal) << true << video << Then::Pause
        << QStringList{portalInhibit, QStringLiteral("Close"), portalInhibit, QStringLiteral("Close")};
    QTest::newRow("a song seen playing, never") << saver << true << song << Then::Close << QStringList();
    QTest::newRow("a video only heard, never") << saver << false << video << Then::Close << QStringList();
}

void InhibitTest::videoKeepsTheScreenAwakeUntilItStops()
{
    QFETCH(int, standIn);
    QFETCH(bool, seen);
    QFETCH(QString, file);
    QFETCH(Then, then);
    QFETCH(QStringList, calls);

    BusStandIn desktop(static_cast<BusStandIn::Kind>(standIn));
    QVERIFY2(desktop.start(), "python3-dbusmock did not come up");
    // The page may hand players network media only; the test's own long
    // media go in through the player itself.
    if (seen)
        app.view()->showMedia(media(QStringLiteral("ocean-bars.ogv")));
    MediaPlayer *player = app.view()->currentPlayer();
    player->playFile(file);
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), Phonon::PlayingState, 20000);
    // Each step waits for the calls it makes, or, where it makes none,
    // asserts for a while that none comes.
    const auto received = [&](int count) {
        if (!calls.isEmpty())
            return QTest::qWaitFor([&] { return desktop.calls().size() >= count; }, 10000);
        QTest::qWait(1500);
        return desktop.calls().isEmpty();
    };
    QVERIFY2(received(1), qPrintable(desktop.calls().join(QLatin1Char('|'))));

    // Stopped as the media object is, which leaves the page where it is.
    if (then == Then::Stop) {
        player->media()->stop();
        QVERIFY2(received(2), qPrintable(desktop.calls().join(QLatin1Char('|'))));
    }
    if (then == Then::Pause) {
        player->pause();
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), Phonon::PausedState, 5000);
        QVERIFY2(received(2), qPrintable(desktop.calls().join(QLatin1Char('|'))));
        player->play();
        QVERIFY2(received(3), qPrintable(desktop.calls().join(QLatin1Char('|'))));
    }
    app.close();
    QTRY_COMPARE_WITH_TIMEOUT(desktop.calls(), calls, 5000);
}

MELODRIFT_PAGE_TEST_MAIN(InhibitTest)
#include "test_inhibit.moc"
