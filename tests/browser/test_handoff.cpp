// Media hand-off from page script: which player plays, which one stop()
// reaches, and when the page is told to move on. The page here records
// player() calls without playing anything itself; media come from the
// stand-in chart service over loopback, so every row also shows that network
// media play while the page keeps answering, under the back end in use.

#include "browserview.h"
#include "chartservice.h"
#include "mediaplayer.h"
#include "pagescript.h"
#include "playbacksuite.h"
#include "testenvironment.h"
#include "urlcatcher.h"

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

using namespace Handoff;

namespace {

const int playingTimeoutMs = 20000;
const QString nextItemsScript = QStringLiteral("JSON.stringify(calls)");

enum class Caller { PageScript, Application };
enum class Emitted { Done, PlayFinished };

} // namespace

Q_DECLARE_METATYPE(Caller)
Q_DECLARE_METATYPE(Emitted)

class HandoffTest : public PlaybackSuite
{
    Q_OBJECT

private slots:
    void firstPlayerIsHiddenAndIdle();
    void showMediaOpensFullScreenPlayer_data();
    void showMediaOpensFullScreenPlayer();
    void signalReachingCloseMedia_data();
    void signalReachingCloseMedia();
    void nextItemScriptCountsOn();
    void stopReachesCurrentPlayer_data();
    void stopReachesCurrentPlayer();
    void playLinkPlaysInCurrentPlayer_data();
    void playLinkPlaysInCurrentPlayer();
    void stoppedPlayerGoesOnceNoLongerCurrent();
    void naturalEnd_data();
    void naturalEnd();
    void currentPlayerFollowsViewSize();
    void playLinkRightAfterShowMedia();

private:
    QUrl startPage() const override;
    QString readyScript() const override;
    QString pageFailures() const override;

    QString nextItems() const;
    MediaPlayer *showMedia(const QString &url, Caller caller = Caller::PageScript);
    void pageCall(const QString &slot, const QString &argument = QString());
    bool pageAnswers();
};

QUrl HandoffTest::startPage() const
{
    return service.pageFromFile(QStringLiteral("tests/browser/test_handoff_page.html"));
}

QString HandoffTest::readyScript() const
{
    return QStringLiteral("window.pageReady === true && typeof Player === 'object'");
}

QString HandoffTest::pageFailures() const
{
    return app.js(QStringLiteral("failures.join('\\n')")).toString();
}

QString HandoffTest::nextItems() const
{
    return app.js(nextItemsScript).toString();
}

void HandoffTest::pageCall(const QString &slot, const QString &argument)
{
    // Player's calls run in the order the page made them, under QtWebEngine
    // a few turns of the event loop later: once a link refused after this
    // call has been said, the call has run.
    const auto refusals = [this] { return messages->debug().filter(QStringLiteral("Link refused")).size(); };
    const int before = refusals();
    if (argument.isNull())
        app.js(QStringLiteral("call('%1');").arg(slot));
    else
        app.js(QStringLiteral("call('%1', %2);").arg(slot, scriptQuoted(argument)));
    app.js(QStringLiteral("call('launchMarket', '');"));
    QVERIFY(QTest::qWaitFor([&] { return refusals() > before; }, 5000));
}

MediaPlayer *HandoffTest::showMedia(const QString &url, Caller caller)
{
    if (caller == Caller::PageScript)
        pageCall(QStringLiteral("showMedia"), url);
    else
        app.view()->showMedia(QUrl(url));
    const QList<MediaPlayer *> made = app.takeNewPlayers();
    return made.size() == 1 ? made.first() : nullptr;
}

// The page's own timer still runs and its script still answers: the GUI
// thread is not held by a media pipeline.
bool HandoffTest::pageAnswers()
{
    const int before = app.js(QStringLiteral("ticks")).toInt();
    QTest::qWait(300);
    return app.js(QStringLiteral("ticks")).toInt() > before;
}

void HandoffTest::firstPlayerIsHiddenAndIdle()
{
    MediaPlayer *first = app.firstPlayer();
    QVERIFY(first);
    QVERIFY(!first->parentWidget());
    // It stays hidden, not only at first.
    QTest::qWait(500);
    QVERIFY(!first->isVisible());
    QVERIFY(mediaObjectOf(first));
    QCOMPARE(mediaObjectOf(first)->currentSource().type(), Phonon::MediaSource::Empty);
    QCOMPARE(nextItems(), QStringLiteral("[]"));
}

void HandoffTest::showMediaOpensFullScreenPlayer_data()
{
    QTest::addColumn<Caller>("caller");
    QTest::newRow("page script passes a string") << Caller::PageScript;
    QTest::newRow("application passes a URL") << Caller::Application;
}

void HandoffTest::showMediaOpensFullScreenPlayer()
{
    QFETCH(Caller, caller);
    const QString url = media(QStringLiteral("ocean-bars.ogv"));

    MediaPlayer *player = showMedia(url, caller);
    QVERIFY2(player, "showMedia did not make exactly one new player");
    QVERIFY(!player->parentWidget());
    QTRY_VERIFY_WITH_TIMEOUT(isFullScreen(player), 5000);
    QCOMPARE(player->windowTitle(), QStringLiteral("ocean-bars.ogv"));
    QCOMPARE(sourceOf(player), QUrl(url));
    QTRY_COMPARE_WITH_TIMEOUT(stateText(player), QStringLiteral("playing"), playingTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(mediaObjectOf(player)->hasVideo(), 5000);
    QVERIFY(pageAnswers());

    // The first player stays as it was: hidden and idle.
    QVERIFY(!app.firstPlayer()->isVisible());
    QCOMPARE(mediaObjectOf(app.firstPlayer())->currentSource().type(), Phonon::MediaSource::Empty);

    // As the debug stream writes it, without the blank it leaves at the end.
    QString expected;
    QDebug(&expected) << "Video play: " << url;
    expected.chop(1);
    QCOMPARE(messages->debug().filter(QStringLiteral("Video play: ")), QStringList{expected});
    QCOMPARE(nextItems(), QStringLiteral("[]"));
}

void HandoffTest::signalReachingCloseMedia_data()
{
    QTest::addColumn<int>("showMediaCalls");
    QTest::addColumn<int>("emitter"); // 0: the first player, n: the player of the n-th showMedia
    QTest::addColumn<Emitted>("emitted");
    QTest::addColumn<bool>("movesOn");

    QTest::newRow("first player, play_finished") << 0 << 0 << Emitted::PlayFinished << true;
    QTest::newRow("first player, done") << 0 << 0 << Emitted::Done << false;
    QTest::newRow("showMedia player, done") << 1 << 1 << Emitted::Done << true;
    QTest::newRow("showMedia player, play_finished") << 1 << 1 << Emitted::PlayFinished << false;
    QTest::newRow("first player no longer current, play_finished") << 1 << 0 << Emitted::PlayFinished << true;
    QTest::newRow("first player no longer current, done") << 1 << 0 << Emitted::Done << false;
    QTest::newRow("older showMedia player, done") << 2 << 1 << Emitted::Done << true;
    QTest::newRow("older showMedia player, play_finished") << 2 << 1 << Emitted::PlayFinished << false;
    QTest::newRow("newer showMedia player, done") << 2 << 2 << Emitted::Done << true;
}

void HandoffTest::signalReachingCloseMedia()
{
    QFETCH(int, showMediaCalls);
    QFETCH(int, emitter);
    QFETCH(Emitted, emitted);
    QFETCH(bool, movesOn);

    QList<MediaPlayer *> players{app.firstPlayer()};
    const QStringList videos{QStringLiteral("ocean-bars.ogv"), QStringLiteral("bouncing-light.ogv")};
    for (int i = 0; i < showMediaCalls; ++i) {
        players.append(showMedia(media(videos.at(i))));
        QVERIFY(players.last());
    }
    // Signals sent by hand, as a player sends them, so that only the
    // connection decides; the players' own playback sends nothing to the
    // page before its end, seconds later.
    MediaPlayer *sender = players.at(emitter);
    if (emitted == Emitted::Done)
        emit sender->done();
    else
        emit sender->play_finished();

    QCOMPARE(nextItems(), movesOn ? QStringLiteral("[[5,1]]") : QStringLiteral("[]"));
    QCOMPARE(app.js(QStringLiteral("ge('var').value")).toString(), movesOn ? QStringLiteral("5") : QStringLiteral("4"));
    QCOMPARE(messages->count(QStringLiteral("Signal Received")), movesOn ? 1 : 0);
    // The sender is left as it was: shown or hidden, never closed.
    QCOMPARE(sender->isVisible(), emitter > 0);
    QCOMPARE(app.players().size(), 1 + showMediaCalls);
}

void HandoffTest::nextItemScriptCountsOn()
{
    // Each time from the index the page holds now, as a number.
    app.js(QStringLiteral("ge('var').value = '9';"));
    emit app.firstPlayer()->play_finished();
    emit app.firstPlayer()->play_finished();
    app.js(QStringLiteral("ge('var').value = '0';"));
    emit app.firstPlayer()->play_finished();
    QCOMPARE(nextItems(), QStringLiteral("[[10,1],[11,1],[1,1]]"));
    QCOMPARE(messages->count(QStringLiteral("Signal Received")), 3);
}

void HandoffTest::stopReachesCurrentPlayer_data()
{
    QTest::addColumn<int>("showMediaCalls");
    QTest::addColumn<QString>("expectedCalls");

    QTest::newRow("first player") << 0 << QStringLiteral("[]");
    QTest::newRow("showMedia player") << 1 << QStringLiteral("[[5,1]]");
    QTest::newRow("newer of two showMedia players") << 2 << QStringLiteral("[[5,1]]");
}

void HandoffTest::stopReachesCurrentPlayer()
{
    QFETCH(int, showMediaCalls);
    QFETCH(QString, expectedCalls);

    QList<MediaPlayer *> players{app.firstPlayer()};
    if (showMediaCalls == 0) {
        pageCall(QStringLiteral("play_link"), media(QStringLiteral("copper-skies.ogg")));
    } else {
        const QStringList songs{QStringLiteral("copper-skies.ogg"), QStringLiteral("paper-satellites.ogg")};
        for (int i = 0; i < showMediaCalls; ++i) {
            players.append(showMedia(media(songs.at(i))));
            QVERIFY(players.last());
        }
    }
    MediaPlayer *current = players.last();
    for (MediaPlayer *player : players.mid(showMediaCalls == 0 ? 0 : 1))
        QTRY_COMPARE_WITH_TIMEOUT(stateText(player), QStringLiteral("playing"), playingTimeoutMs);
    QVERIFY(pageAnswers());

    QSignalSpy done(current, &MediaPlayer::done);
    pageCall(QStringLiteral("stop"));

    QCOMPARE(done.count(), 1);
    QCOMPARE(nextItems(), expectedCalls);
    QCOMPARE(messages->count(QStringLiteral("Signal Received")), expectedCalls == QLatin1String("[]") ? 0 : 1);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(current), QStringLiteral("stopped"), 5000);
    // Only the current player stops; an older one plays on.
    for (MediaPlayer *player : players.mid(1, players.size() - 2))
        QCOMPARE(stateText(player), QStringLiteral("playing"));
    QCOMPARE(current->isVisible(), showMediaCalls > 0);
    QVERIFY(pageAnswers());
    QCOMPARE(app.players().size(), 1 + showMediaCalls);
}

void HandoffTest::playLinkPlaysInCurrentPlayer_data()
{
    QTest::addColumn<int>("showMediaCalls");
    QTest::newRow("before any showMedia: the hidden first player") << 0;
    QTest::newRow("after showMedia: its full-screen player") << 1;
    QTest::newRow("after two showMedia: the newer player") << 2;
}

void HandoffTest::playLinkPlaysInCurrentPlayer()
{
    QFETCH(int, showMediaCalls);

    QList<MediaPlayer *> players{app.firstPlayer()};
    const QStringList videos{QStringLiteral("ocean-bars.ogv"), QStringLiteral("bouncing-light.ogv")};
    for (int i = 0; i < showMediaCalls; ++i) {
        players.append(showMedia(media(videos.at(i))));
        QVERIFY(players.last());
        // Under way before the page changes it: what is tested here is where
        // the song goes, not a source replaced while it still loads.
        QTRY_COMPARE_WITH_TIMEOUT(stateText(players.last()), QStringLiteral("playing"), playingTimeoutMs);
    }
    MediaPlayer *current = players.last();

    const QString song = media(QStringLiteral("copper-skies.ogg"));
    pageCall(QStringLiteral("play_link"), song);

    QVERIFY2(app.takeNewPlayers().isEmpty(), "play_link made a player");
    QCOMPARE(sourceOf(current), QUrl(song));
    QCOMPARE(current->windowTitle(), QStringLiteral("copper-skies.ogg"));
    QTRY_COMPARE_WITH_TIMEOUT(stateText(current), QStringLiteral("playing"), playingTimeoutMs);
    QVERIFY(pageAnswers());
    QCOMPARE(current->isVisible(), showMediaCalls > 0);
    if (showMediaCalls == 0)
        QVERIFY(!app.firstPlayer()->isVisible());
    // Players that are not current keep what they had.
    QCOMPARE(mediaObjectOf(app.firstPlayer())->currentSource().type(),
             showMediaCalls == 0 ? Phonon::MediaSource::Url : Phonon::MediaSource::Empty);
    if (showMediaCalls == 2)
        QCOMPARE(sourceOf(players.at(1)), QUrl(media(videos.at(0))));
    QCOMPARE(nextItems(), QStringLiteral("[]"));
    QVERIFY(messages->debug().filter(QStringLiteral("Video play: ")).size() == showMediaCalls);
}

void HandoffTest::stoppedPlayerGoesOnceNoLongerCurrent()
{
    const QString older = media(QStringLiteral("copper-skies.ogg"));
    const QString newer = media(QStringLiteral("paper-satellites.ogg"));
    const QPointer<MediaPlayer> olderPlayer = showMedia(older);
    const QPointer<MediaPlayer> newerPlayer = showMedia(newer);
    QVERIFY(olderPlayer && newerPlayer);

    QTRY_COMPARE_WITH_TIMEOUT(stateText(olderPlayer), QStringLiteral("playing"), playingTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(newerPlayer), QStringLiteral("playing"), playingTimeoutMs);
    QVERIFY(isFullScreen(olderPlayer));
    QVERIFY(isFullScreen(newerPlayer));
    QCOMPARE(sourceOf(olderPlayer), QUrl(older));

    // The user stops the older one with its own stop button. No longer
    // current, it then plays nothing, and goes.
    olderPlayer->stop();
    QCOMPARE(nextItems(), QStringLiteral("[[5,1]]"));
    QCOMPARE(messages->count(QStringLiteral("Signal Received")), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!olderPlayer, 5000);
    QCOMPARE(stateText(newerPlayer), QStringLiteral("playing"));

    // Page script still reaches the newer one, which is current, and stays
    // when it stops: waited for a while, asserting that it does.
    pageCall(QStringLiteral("stop"));
    QCOMPARE(nextItems(), QStringLiteral("[[5,1],[6,1]]"));
    QTRY_COMPARE_WITH_TIMEOUT(stateText(newerPlayer), QStringLiteral("stopped"), 5000);
    QVERIFY(!QTest::qWaitFor([&] { return !newerPlayer; }, 2000));
    QVERIFY(isFullScreen(newerPlayer));
    QCOMPARE(app.players().size(), 2);
}

void HandoffTest::naturalEnd_data()
{
    QTest::addColumn<bool>("viaShowMedia");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expectedCalls");

    QTest::newRow("play_link in the first player moves on once")
        << false << QStringLiteral("low-tide.ogg") << QStringLiteral("[[5,1]]");
    QTest::newRow("showMedia player sends nothing") << true << QStringLiteral("ocean-bars.ogv") << QStringLiteral("[]");
    QTest::newRow("play_link in a showMedia player sends nothing")
        << true << QStringLiteral("low-tide.ogg") << QStringLiteral("[]");
}

void HandoffTest::naturalEnd()
{
    QFETCH(bool, viaShowMedia);
    QFETCH(QString, file);
    QFETCH(QString, expectedCalls);

    MediaPlayer *player = app.firstPlayer();
    if (viaShowMedia) {
        player = showMedia(media(QStringLiteral("ocean-bars.ogv")));
        QVERIFY(player);
        QTRY_COMPARE_WITH_TIMEOUT(stateText(player), QStringLiteral("playing"), playingTimeoutMs);
    }
    QSignalSpy finished(mediaObjectOf(player), &Phonon::MediaObject::finished);
    QSignalSpy done(player, &MediaPlayer::done);
    if (!viaShowMedia || file != QLatin1String("ocean-bars.ogv"))
        pageCall(QStringLiteral("play_link"), media(file));
    QCOMPARE(sourceOf(player), QUrl(media(file)));
    QTRY_COMPARE_WITH_TIMEOUT(stateText(player), QStringLiteral("playing"), playingTimeoutMs);
    QVERIFY(pageAnswers());

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    // Whatever follows the end would come in the same turn or soon after.
    QTest::qWait(1500);
    QCOMPARE(nextItems(), expectedCalls);
    QCOMPARE(messages->count(QStringLiteral("Signal Received")), expectedCalls == QLatin1String("[]") ? 0 : 1);
    QCOMPARE(done.count(), 0);
    QCOMPARE(player->isVisible(), viaShowMedia);
    QVERIFY(pageAnswers());
}

void HandoffTest::currentPlayerFollowsViewSize()
{
    BrowserView *view = app.view();
    MediaPlayer *first = app.firstPlayer();
    QCOMPARE(first->size(), view->size());

    view->resize(600, 400);
    QCOMPARE(first->size(), QSize(600, 400));

    MediaPlayer *player = showMedia(media(QStringLiteral("low-tide.ogg")));
    QVERIFY(player);
    QTRY_VERIFY_WITH_TIMEOUT(isFullScreen(player), 5000);
    // Only the current player follows; the first one keeps its last size.
    view->resize(500, 300);
    QCOMPARE(first->size(), QSize(600, 400));
    QTRY_COMPARE_WITH_TIMEOUT(player->size(), QSize(500, 300), 5000);
}

// The page may hand over a song while the video it just opened is still
// loading (a quick next item): the song replaces it and plays.
void HandoffTest::playLinkRightAfterShowMedia()
{
    MediaPlayer *player = showMedia(media(QStringLiteral("ocean-bars.ogv")));
    QVERIFY(player);
    const QString song = media(QStringLiteral("copper-skies.ogg"));
    pageCall(QStringLiteral("play_link"), song);

    QCOMPARE(sourceOf(player), QUrl(song));
    QTRY_COMPARE_WITH_TIMEOUT(stateText(player), QStringLiteral("playing"), playingTimeoutMs);
    QVERIFY(pageAnswers());
    QCOMPARE(nextItems(), QStringLiteral("[]"));
}

MELODRIFT_PAGE_TEST_MAIN(HandoffTest)
#include "test_handoff.moc"
