// A song that starts while the window is not active is announced, each
// announcement replacing the one before; python3-dbusmock stands in for the
// notification daemon (it reads markup, so the body comes escaped).

#include "browserview.h"
#include "busstandin.h"
#include "chartservice.h"
#include "desktopsettings.h"
#include "mediaplayer.h"
#include "playbacksuite.h"
#include "testenvironment.h"
#include "testmedia.h"

#include <QtTest>

class NotifyTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void songStartingUnseenIsAnnounced_data();
    void songStartingUnseenIsAnnounced();

private:
    ChartService service;
    QStringList songs;
};

void NotifyTest::initTestCase()
{
    qInfo() << "Phonon back end:" << qgetenv("PHONON_BACKEND");
    QVERIFY2(service.start(), "the stand-in chart service did not start");
    const QString dir = TestSupport::environment().root();
    songs = QStringList{TestMedia::song(dir, QStringLiteral("a.ogg"), 20, QStringLiteral("First Light"), QStringLiteral("Lumen & Fox")),
                        TestMedia::song(dir, QStringLiteral("b.ogg"), 20, QStringLiteral("Second Wind"), QStringLiteral("Neon Harbor"))};
    QVERIFY(!songs.contains(QString()));
}

void NotifyTest::songStartingUnseenIsAnnounced_data()
{
    QTest::addColumn<bool>("windowActive");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QStringList>("calls"); // patterns

    // VLC reads the tags of a song in this process late or never (the second
    // in a player mostly); it is named by its file until then.
    const QString notify = QStringLiteral(
        "Notify \"Melodrift\" %1 \"org\\.melodrift\\.Melodrift\" %2 \\[\\] "
        "\\{\"desktop-entry\": \"org\\.melodrift\\.Melodrift\"\\} -1");
    QTest::newRow("window not active") << false << true
        << QStringList{notify.arg(0).arg(QStringLiteral("(\"First Light\" \"Lumen &amp; Fox\"|\"a.ogg\" \"\")")),
                       notify.arg(1).arg(QStringLiteral("(\"Second Wind\" \"Neon Harbor\"|\"b.ogg\" \"\")"))};
    QTest::newRow("window active") << true << true << QStringList();
    QTest::newRow("turned off") << false << false << QStringList();
}

void NotifyTest::songStartingUnseenIsAnnounced()
{
    QFETCH(bool, windowActive);
    QFETCH(bool, enabled);
    QFETCH(QStringList, calls);

    BusStandIn daemon(BusStandIn::Notifications);
    QVERIFY2(daemon.start(), "python3-dbusmock did not come up");
    DesktopSettings::setNotificationsEnabled(enabled);
    Handoff::App app;
    QVERIFY(app.open(service.startPage(), QStringLiteral("window.chartReady === true")));
    QWidget elsewhere;
    if (!windowActive) {
        elsewhere.show();
        elsewhere.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
    }
    for (const QString &song : qAsConst(songs)) {
        app.view()->listeningPlayer()->playFile(song);
        QTRY_COMPARE_WITH_TIMEOUT(app.firstPlayer()->state(), Phonon::PlayingState, 20000);
        QTest::qWait(2000);
    }
    app.close();
    DesktopSettings::setNotificationsEnabled(true);
    const QStringList made = daemon.calls(QStringLiteral("Notify"));
    QCOMPARE(made.size(), calls.size());
    for (int i = 0; i < calls.size(); ++i)
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(calls.at(i))).match(made.at(i)).hasMatch(), qPrintable(made.at(i)));
}

MELODRIFT_TEST_MAIN(NotifyTest)
#include "test_notify.moc"
