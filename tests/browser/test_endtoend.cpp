// The real chart page of the stand-in service, used as a user would: a click
// on a video opens a full-screen player playing it, stopping it moves the
// page on to its next item, and a song listened to plays out in the hidden
// first player after which the page goes on by itself. The page's state is
// read through its own script.

#include "chartservice.h"
#include "mediaplayer.h"
#include "pagescript.h"
#include "playbacksuite.h"
#include "testenvironment.h"
#include "urlcatcher.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QtTest>

using namespace Handoff;

namespace {

const int playingTimeoutMs = 20000;

enum class StopBy { PageStopButton, PlayerStopButton };

QPushButton *stopButtonOf(MediaPlayer *player)
{
    const QImage stopImage = player->style()->standardIcon(QStyle::SP_MediaStop).pixmap(16).toImage();
    for (QPushButton *button : player->findChildren<QPushButton *>()) {
        if (button->icon().pixmap(16).toImage() == stopImage)
            return button;
    }
    return nullptr;
}

} // namespace

Q_DECLARE_METATYPE(StopBy)

class EndToEndTest : public PlaybackSuite
{
    Q_OBJECT

private slots:
    void videoPlaysFullScreenAndStopMovesOn_data();
    void videoPlaysFullScreenAndStopMovesOn();
    void listenedSongPlaysOutAndPageMovesOnByItself();
    void theChartsOtherControls();

private:
    QUrl startPage() const override;
    QString readyScript() const override;
    QString pageFailures() const override;

    QString pageJson(const QString &expression) const;
    QString currentIndex() const;
    MediaPlayer *waitForNewPlayer(int timeoutMs);
};

QUrl EndToEndTest::startPage() const
{
    return service.startPage();
}

// The page starts at no item; a case that began elsewhere would not test
// what it says.
QString EndToEndTest::readyScript() const
{
    return QStringLiteral("window.chartReady === true && typeof Player === 'object' && ge('var').value === '0'");
}

// The page logs every Player call that threw, e.g. one it could not convert.
QString EndToEndTest::pageFailures() const
{
    return messages->console().filter(QStringLiteral("failed")).join(QLatin1Char('\n'));
}

QString EndToEndTest::pageJson(const QString &expression) const
{
    return app.js(QStringLiteral("JSON.stringify(%1)").arg(expression)).toString();
}

QString EndToEndTest::currentIndex() const
{
    return app.js(QStringLiteral("ge('var').value")).toString();
}

MediaPlayer *EndToEndTest::waitForNewPlayer(int timeoutMs)
{
    QList<MediaPlayer *> made;
    (void)QTest::qWaitFor(
        [&] {
            made = app.takeNewPlayers();
            return !made.isEmpty();
        },
        timeoutMs);
    return made.size() == 1 ? made.first() : nullptr;
}

void EndToEndTest::videoPlaysFullScreenAndStopMovesOn_data()
{
    QTest::addColumn<StopBy>("stopBy");
    QTest::newRow("the page's Stop button") << StopBy::PageStopButton;
    QTest::newRow("the player's stop button") << StopBy::PlayerStopButton;
}

void EndToEndTest::videoPlaysFullScreenAndStopMovesOn()
{
    QFETCH(StopBy, stopBy);
    const QString video = media(QStringLiteral("ocean-bars.ogv"));
    const QString nextSong = media(QStringLiteral("paper-satellites.ogg"));

    QVERIFY(app.click(QStringLiteral("#item1 button.play-video")));
    MediaPlayer *player = waitForNewPlayer(15000);
    QVERIFY2(player, qPrintable(QStringLiteral("the click on the video made no player; the page sent ")
                                + pageJson(QStringLiteral("sent"))));

    QCOMPARE(pageJson(QStringLiteral("received.youtube")), QStringLiteral("[\"%1\"]").arg(video));
    QCOMPARE(pageJson(QStringLiteral("sent[sent.length - 1]")), QStringLiteral("[\"showMedia\",\"%1\"]").arg(video));
    QCOMPARE(currentIndex(), QStringLiteral("1"));
    QTRY_VERIFY_WITH_TIMEOUT(isFullScreen(player), 5000);
    QCOMPARE(sourceOf(player), QUrl(video));
    QTRY_COMPARE_WITH_TIMEOUT(stateText(player), QStringLiteral("playing"), playingTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(mediaObjectOf(player)->hasVideo(), 5000);
    QCOMPARE(pageJson(QStringLiteral("received.player")), QStringLiteral("[]"));
    QVERIFY(!app.firstPlayer()->isVisible());

    if (stopBy == StopBy::PageStopButton) {
        QVERIFY(app.click(QStringLiteral("#stop")));
    } else {
        QPushButton *stop = stopButtonOf(player);
        QVERIFY2(stop, "the player has no stop button");
        QTest::mouseClick(stop, Qt::LeftButton);
    }

    QTRY_COMPARE_WITH_TIMEOUT(pageJson(QStringLiteral("received.player")), QStringLiteral("[[2,1]]"), 5000);
    QCOMPARE(currentIndex(), QStringLiteral("2"));
    QCOMPARE(pageJson(QStringLiteral("sent[sent.length - 1]")), QStringLiteral("[\"play_link\",\"%1\"]").arg(nextSong));
    // The next item, a song, plays in the current player: the one just stopped.
    QTRY_COMPARE_WITH_TIMEOUT(sourceOf(player), QUrl(nextSong), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(player), QStringLiteral("playing"), playingTimeoutMs);
    QVERIFY(app.takeNewPlayers().isEmpty());
    QCOMPARE(mediaObjectOf(app.firstPlayer())->currentSource().type(), Phonon::MediaSource::Empty);
    QCOMPARE(messages->count(QStringLiteral("Signal Received")), 1);
    QCOMPARE(pageJson(QStringLiteral("received.player")), QStringLiteral("[[2,1]]"));
}

void EndToEndTest::listenedSongPlaysOutAndPageMovesOnByItself()
{
    const QString song = media(QStringLiteral("paper-satellites.ogg")); // item 2, 5 s
    const QString following = media(QStringLiteral("low-tide.ogg"));    // item 3, 3 s
    const QString video = media(QStringLiteral("bouncing-light.ogv"));  // item 4, 3 s
    MediaPlayer *first = app.firstPlayer();
    QSignalSpy finished(mediaObjectOf(first), &Phonon::MediaObject::finished);

    QVERIFY(app.click(QStringLiteral("#item2 button.listen")));
    // The engine may take a few turns of the event loop for the click and for Player's calls.
    QTRY_COMPARE_WITH_TIMEOUT(pageJson(QStringLiteral("sent[sent.length - 1]")),
                              QStringLiteral("[\"play_link\",\"%1\"]").arg(song), 5000);
    QCOMPARE(currentIndex(), QStringLiteral("2"));
    QTRY_COMPARE_WITH_TIMEOUT(sourceOf(first), QUrl(song), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(first), QStringLiteral("playing"), playingTimeoutMs);
    QVERIFY(!first->isVisible());
    QVERIFY(app.takeNewPlayers().isEmpty());

    // At its natural end the page moves on once, and the next song plays in
    // the same hidden player.
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(pageJson(QStringLiteral("received.player")), QStringLiteral("[[3,1]]"), 5000);
    QCOMPARE(currentIndex(), QStringLiteral("3"));
    QCOMPARE(pageJson(QStringLiteral("sent[sent.length - 1]")),
             QStringLiteral("[\"play_link\",\"%1\"]").arg(following));
    QTRY_COMPARE_WITH_TIMEOUT(sourceOf(first), QUrl(following), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(first), QStringLiteral("playing"), playingTimeoutMs);
    QTest::qWait(1000);
    QCOMPARE(pageJson(QStringLiteral("received.player")), QStringLiteral("[[3,1]]"));
    QCOMPARE(messages->count(QStringLiteral("Signal Received")), 1);
    QVERIFY(!first->isVisible());

    // That one ends too; the next item is a video, which opens full screen.
    MediaPlayer *player = waitForNewPlayer(30000);
    const Phonon::MediaObject *media = mediaObjectOf(first);
    QVERIFY2(player, qPrintable(QStringLiteral("the page did not go on to the video after the song; "
                                               "the song stands %1 at %2 of %3 ms (back end: %4)")
                                    .arg(stateText(first))
                                    .arg(media->currentTime())
                                    .arg(media->totalTime())
                                    .arg(stateText(media->state()))));
    QCOMPARE(pageJson(QStringLiteral("received.player")), QStringLiteral("[[3,1],[4,1]]"));
    QCOMPARE(currentIndex(), QStringLiteral("4"));
    QCOMPARE(sourceOf(player), QUrl(video));
    QTRY_VERIFY_WITH_TIMEOUT(isFullScreen(player), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(player), QStringLiteral("playing"), playingTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(mediaObjectOf(player)->hasVideo(), 5000);

    // A full-screen player's natural end leaves the page where it is.
    QSignalSpy videoFinished(mediaObjectOf(player), &Phonon::MediaObject::finished);
    QTRY_COMPARE_WITH_TIMEOUT(videoFinished.count(), 1, 30000);
    QTest::qWait(1500);
    QCOMPARE(pageJson(QStringLiteral("received.player")), QStringLiteral("[[3,1],[4,1]]"));
    QCOMPARE(currentIndex(), QStringLiteral("4"));
    QCOMPARE(messages->count(QStringLiteral("Signal Received")), 2);
}

// Search, a hit's Download and "Open in desktop player", the outside link
// and Quit, each clicked as the user clicks it.
void EndToEndTest::theChartsOtherControls()
{
    app.js(QStringLiteral("ge('q').value = 'glass';"));
    QVERIFY(app.click(QStringLiteral("#go")));
    QTRY_COMPARE_WITH_TIMEOUT(app.js(QStringLiteral("received.ajax.length")).toInt(), 1, 10000);
    const QVariantMap hit = app.js(QStringLiteral("JSON.parse(received.ajax[0])[0]")).toMap();
    QCOMPARE(hit.value(QStringLiteral("title")).toString(), QStringLiteral("Glass Harbour"));

    const QString file = hit.value(QStringLiteral("file")).toString();
    QVERIFY(app.click(QStringLiteral("#results .hit button.download")));
    QFile saved(TestSupport::environment().downloadDirectory() + file);
    const QByteArray served = service.fetch(QStringLiteral("files/") + file);
    QVERIFY(!served.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(saved).size(), qint64(served.size()), 20000);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), served);

    // The desktop gets the playlist, and the outside link; nothing is started.
    UrlCatcher desktop;
    QVERIFY(app.click(QStringLiteral("#results .hit button.desktop")));
    const QUrl playlist = QUrl::fromLocalFile(TestSupport::environment().playlistFile());
    QTRY_COMPARE_WITH_TIMEOUT(desktop.urls, QList<QUrl>{playlist}, 10000);
    QFile written(TestSupport::environment().playlistFile());
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(written.readAll()), hit.value(QStringLiteral("url")).toString());
    QVERIFY(app.click(QStringLiteral("#outside")));
    QTRY_COMPARE_WITH_TIMEOUT(desktop.urls.size(), 2, 10000);
    QCOMPARE(desktop.urls.last(), QUrl(QStringLiteral("https://www.xiph.org/")));
    QCOMPARE(app.js(QStringLiteral("location.href")).toString(), service.startPage().toString());

    // Quit ends the event loop with code 0.
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [this] { app.click(QStringLiteral("#quit")); });
    QTimer::singleShot(15000, &loop, [&loop] { loop.exit(1); });
    QCOMPARE(loop.exec(), 0);
}

MELODRIFT_PAGE_TEST_MAIN(EndToEndTest)
#include "test_endtoend.moc"
