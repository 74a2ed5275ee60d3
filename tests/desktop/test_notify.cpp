// A song that starts while the window is not active is announced, each
// announcement replacing the one before; python3-dbusmock stands in for the
// notification daemon (it reads markup, so the body comes escaped), and
// comes up after the application, as a desktop's may.

#include "applicationprocess.h"
#include "browserview.h"
#include "busstandin.h"
#include "desktopsettings.h"
#include "mediaplayer.h"
#include "pagescript.h"
#include "playbacksuite.h"
#include "testenvironment.h"
#include "testmedia.h"

#include <QDir>
#include <QFile>
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
    // VLC's back end reads a song's tags once, as it opens the song, racing
    // VLC's own reading of them; mostly it loses, names the song by its file,
    // and says no more of it. GStreamer's names every song.
    const bool vlc = qgetenv("PHONON_BACKEND") == "phonon_vlc";
    const auto named = [vlc](const QString &tags, const QString &file) {
        return vlc ? QStringLiteral("(%1|%2)").arg(tags, file) : tags;
    };
    const QString notify = QStringLiteral("Notify \"Melodrift\" %1 \"org\\.melodrift\\.Melodrift\" %2 \\[\\] "
                                          "\\{\"desktop-entry\": \"org\\.melodrift\\.Melodrift\"\\} -1");
    QTest::newRow("window not active")
        << false << true << songs
        << QStringList{notify.arg(0).arg(named(QStringLiteral("\"First Light\" \"Lumen &amp; Fox\""),
                                               QStringLiteral("\"a.ogg\" \"\""))),
                       notify.arg(1).arg(
                           named(QStringLiteral("\"Second Wind\" \"Neon Harbor\""), QStringLiteral("\"b.ogg\" \"\"")))};
    QTest::newRow("window active") << true << true << songs << QStringList();
    QTest::newRow("turned off") << false << false << songs << QStringList();

    // A chained Ogg stream whose second part carries the tags: GStreamer
    // reports them once that part plays. The song is announced by its file
    // name, then by its tags, in place. (VLC reports them as it opens the
    // song, or never, and ends the song with its first part.)
    const QString untagged = TestMedia::song(dir, QStringLiteral("untagged.ogg"), 4);
    const QString tagged = TestMedia::song(dir, QStringLiteral("tagged.ogg"), 10, QStringLiteral("Late Title"),
                                           QStringLiteral("Late Band"));
    const QString chained = QDir(dir).absoluteFilePath(QStringLiteral("chained.ogg"));
    QFile out(chained);
    QFile first(untagged);
    QFile second(tagged);
    QVERIFY(out.open(QIODevice::WriteOnly) && first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly));
    out.write(first.readAll() + second.readAll());
    out.close();
    const QString lateTags = QStringLiteral("\"Late Title\" \"Late Band\"");
    const QString lateFile = QStringLiteral("\"chained.ogg\" \"\"");
    const QStringList late = vlc ? QStringList{notify.arg(0).arg(named(lateTags, lateFile))}
                                 : QStringList{notify.arg(0).arg(lateFile), notify.arg(1).arg(lateTags)};
    QTest::newRow("named only later") << false << true << QStringList{chained} << late;
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
            QTRY_VERIFY_WITH_TIMEOUT(daemon.calls(QStringLiteral("Notify")).size() > i, 10000);
        }
    }
    const QRegularExpression expected(QRegularExpression::anchoredPattern(calls.join(QLatin1Char('\n'))));
    const auto made = [&] { return daemon.calls(QStringLiteral("Notify")).join(QLatin1Char('\n')); };
    QTRY_VERIFY2_WITH_TIMEOUT(expected.match(made()).hasMatch(), qPrintable(made()), 10000);
    // The desktop's media controls name the song as the announcement did,
    // while it plays (VLC ends the chained song with its first part).
    const QString summary = QRegularExpression(QStringLiteral("^Notify \"Melodrift\" \\d+ \"[^\"]*\" \"([^\"]*)\""))
                                .match(daemon.calls(QStringLiteral("Notify")).value(calls.size() - 1))
                                .captured(1);
    if (!calls.isEmpty() && app.firstPlayer()->state() == Phonon::PlayingState)
        QCOMPARE(ApplicationProcess::playerctl({QStringLiteral("metadata"), QStringLiteral("xesam:title")}), summary);
    app.close();
    QVERIFY2(expected.match(made()).hasMatch(), qPrintable(made()));
}

MELODRIFT_PAGE_TEST_MAIN(NotifyTest)
#include "test_notify.moc"
