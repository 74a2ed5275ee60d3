// A song that starts while the window is not active is announced, each
// announcement replacing the one before; python3-dbusmock stands in for the
// notification daemon (it reads markup, so the body comes escaped), and
// comes up after the application, as a desktop's may.

#include "browserview.h"
#include "busstandin.h"
#include "desktopsettings.h"
#include "mediaplayer.h"
#include "playbacksuite.h"
#include "testenvironment.h"
#include "testmedia.h"

#include <QtTest>

class NotifyTest : public Handoff::PlaybackSuite
{
    Q_OBJECT

private slots:
    void songStartingUnseenIsAnnounced_data();
    void songStartingUnseenIsAnnounced();
};

void NotifyTest::songStartingUnseenIsAnnounced_data()
{
    QTest::addColumn<bool>("windowActive");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QStringList>("songs");
    QTest::addColumn<QStringList>("calls"); // patterns, one a call

    const QString dir = TestSupport::environment().root();
    const QStringList songs{
        TestMedia::song(dir, QStringLiteral("a.ogg"), 20, QStringLiteral("First Light"), QStringLiteral("Lumen & Fox")),
        TestMedia::song(dir, QStringLiteral("b.ogg"), 20, QStringLiteral("Second Wind"),
                        QStringLiteral("Neon Harbor"))};
    // VLC's back end reads a song's tags once, as the song starts, mostly
    // before they are there (for the second in a player nearly always),
    // and names it by its file then.
    const QString notify = QStringLiteral("Notify \"Melodrift\" %1 \"org\\.melodrift\\.Melodrift\" %2 \\[\\] "
                                          "\\{\"desktop-entry\": \"org\\.melodrift\\.Melodrift\"\\} -1");
    QTest::newRow("window not active")
        << false << true << songs
        << QStringList{notify.arg(0).arg(QStringLiteral("(\"First Light\" \"Lumen &amp; Fox\"|\"a.ogg\" \"\")")),
                       notify.arg(1).arg(QStringLiteral("(\"Second Wind\" \"Neon Harbor\"|\"b.ogg\" \"\")"))};
    QTest::newRow("window active") << true << true << songs << QStringList();
    QTest::newRow("turned off") << false << false << songs << QStringList();
}

void NotifyTest::songStartingUnseenIsAnnounced()
{
    QFETCH(bool, windowActive);
    QFETCH(bool, enabled);
    QFETCH(QStringList, songs);
    QFETCH(QStringList, calls);

    BusStandIn daemon(BusStandIn::Notifications);
    QVERIFY2(daemon.start(), "python3-dbusmock did not come up");
    DesktopSettings::setNotificationsEnabled(enabled);
    QWidget elsewhere;
    if (!windowActive) {
        elsewhere.show();
        elsewhere.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
    }
    // The page may hand players network media only; the test's own songs go
    // in through the player itself. Each song is announced once it has a
    // title, or 1.5 s after it started without one.
    for (int i = 0; i < songs.size(); ++i) {
        app.view()->listeningPlayer()->playFile(songs.at(i));
        QTRY_COMPARE_WITH_TIMEOUT(app.firstPlayer()->state(), Phonon::PlayingState, 20000);
        if (calls.isEmpty()) {
            // Waited for, asserting that no announcement comes.
            QTest::qWait(2000);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(daemon.calls(QStringLiteral("Notify")).size(), i + 1, 10000);
        }
    }
    app.close();
    const QString made = daemon.calls(QStringLiteral("Notify")).join(QLatin1Char('\n'));
    QVERIFY2(
        QRegularExpression(QRegularExpression::anchoredPattern(calls.join(QLatin1Char('\n')))).match(made).hasMatch(),
        qPrintable(made));
}

MELODRIFT_TEST_MAIN(NotifyTest)
#include "test_notify.moc"
