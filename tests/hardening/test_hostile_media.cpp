// Media that is not what it claims, and drops that no user would make: the
// player as the page host and the desktop feed it. Each case must leave the
// process running, let the user stop the player, write nothing outside the
// test's folders, and end either in playback or in the player's own
// "Phonon Mediaplayer" box followed by done(), never in silence.

#include "chartservice.h"
#include "hardening.h"
#include "mediaplayer.h"
#include "playbacksuite.h"
#include "testenvironment.h"
#include "testmedia.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(bytes);
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool settled(Phonon::State state)
{
    return state == Phonon::PlayingState || state == Phonon::StoppedState || state == Phonon::PausedState
           || state == Phonon::ErrorState;
}

} // namespace

class HostileMediaTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void badMedia_data();
    void badMedia();
    void oddDrops_data();
    void oddDrops();

private:
    QString media(const QString &name) const { return dir + QLatin1Char('/') + name; }
    void drop(const QList<QUrl> &urls, Qt::DropAction action);

    ChartService service;
    QString dir;
    QString song;
    std::unique_ptr<MediaPlayer> player;
    std::unique_ptr<ModalAnswerer> boxes;
    QSet<QString> before;
};

void HostileMediaTest::initTestCase()
{
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QVERIFY2(service.start(), "the stand-in chart service did not start");
    dir = TestSupport::environment().root() + QStringLiteral("/media");
    QDir().mkpath(dir);
    song = TestMedia::song(dir, QStringLiteral("whole.ogg"), 3, QStringLiteral("Whole"), QStringLiteral("Band"));
    QVERIFY(!song.isEmpty());
    const QByteArray bytes = readFile(song);
    QVERIFY(bytes.size() > 4000);
    QVERIFY(!writeFile(media("cut-half.ogg"), bytes.left(bytes.size() / 2)).isEmpty());
    QVERIFY(!writeFile(media("cut-header.ogg"), bytes.left(200)).isEmpty());
    QVERIFY(!writeFile(media("empty.ogg"), QByteArray()).isEmpty());
    QVERIFY(!writeFile(media("page.ogg"), "<html><body>Not found</body></html>\n").isEmpty());
    QVERIFY(!TestMedia::noise(dir, QStringLiteral("noise.ogg"), 50000).isEmpty());
    QDir().mkpath(media("folder.ogg"));
    QDir().mkpath(media("only-folders/a"));
    QDir().mkpath(media("many"));
    for (int i = 0; i < 300; ++i)
        QVERIFY(!writeFile(media(QStringLiteral("many/%1.ogg").arg(i, 3, 10, QLatin1Char('0'))), "x").isEmpty());
}

void HostileMediaTest::init()
{
    before = Hardening::snapshot(TestSupport::environment().root());
    boxes = std::make_unique<ModalAnswerer>();
    player = std::make_unique<MediaPlayer>(nullptr);
    player->resize(320, 240);
    player->show();
}

void HostileMediaTest::cleanup()
{
    player.reset();
    boxes.reset();
    // A player writes its two settings at most; media are the test's own.
    for (const QString &path : Hardening::appearedSince(before, TestSupport::environment().root()))
        QVERIFY2(path.startsWith(QLatin1String("config")), qPrintable(QStringLiteral("unexpected file: ") + path));
}

void HostileMediaTest::cleanupTestCase()
{
    service.stop();
}

void HostileMediaTest::badMedia_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<bool>("mustFail"); // nothing in it can play: the user must get the box

    auto local = [this](const QString &name) { return QUrl::fromLocalFile(media(name)).toString(); };
    QTest::newRow("half a song") << local("cut-half.ogg") << false;
    QTest::newRow("only the header") << local("cut-header.ogg") << false;
    QTest::newRow("empty file") << local("empty.ogg") << true;
    QTest::newRow("web page named .ogg") << local("page.ogg") << false;
    // VLC opens a folder as an empty playlist that "plays" and ends at once.
    QTest::newRow("folder named .ogg") << local("folder.ogg") << false;
    QTest::newRow("web page served as audio")
        << service.url("status/200?type=audio/ogg&body=%3Chtml%3E").toString() << false;
    QTest::newRow("server error with a body") << service.url("status/500?body=broken").toString() << true;
    QTest::newRow("song cut off by the server") << service.url("answer?size=3000&type=audio/ogg").toString() << false;
    QTest::newRow("script URL") << QStringLiteral("javascript:alert(1)") << true;
    QTest::newRow("empty location") << QString() << true;
    QTest::newRow("100 000 character location") << QStringLiteral("http://127.0.0.1:1/") + QString(100000, 'a') << true;
    QTest::newRow("location that does not parse") << QStringLiteral("http://[::1/x.ogg") << true;
}

void HostileMediaTest::badMedia()
{
    QFETCH(QString, location);
    QFETCH(bool, mustFail);
    Phonon::MediaObject *object = Handoff::mediaObjectOf(player.get());
    QVERIFY(object);
    QSignalSpy done(player.get(), &MediaPlayer::done);

    player->playLocation(location);
    // Whatever it is, the player settles: it plays, or it tells the user.
    QElapsedTimer clock;
    clock.start();
    // A source that stays silent is reported after the player's stall time (8 s).
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     return !boxes->seen.isEmpty() || (!mustFail && object->state() == Phonon::PlayingState)
                            || (settled(object->state()) && clock.elapsed() > 12000);
                 },
                 30000),
             qPrintable(Handoff::stateText(object->state())));
    // Give a failure that follows a brief start its time to be reported.
    QTest::qWait(1500);
    if (!boxes->seen.isEmpty()) {
        QCOMPARE(boxes->seen.size(), 1);
        QVERIFY2(!boxes->seen.first().trimmed().isEmpty(), "the failure box says nothing");
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 5000);
    } else {
        QVERIFY2(!mustFail, qPrintable(QStringLiteral("no failure box; state ") + Handoff::stateText(object->state())));
    }

    // The user can always stop it, and stopping says so.
    const int doneBefore = done.count();
    player->stop();
    QCOMPARE(done.count(), doneBefore + 1);
    QTRY_VERIFY_WITH_TIMEOUT(object->state() == Phonon::StoppedState || object->state() == Phonon::ErrorState, 10000);
}

void HostileMediaTest::drop(const QList<QUrl> &urls, Qt::DropAction action)
{
    QMimeData data;
    data.setUrls(urls);
    const QPoint at(player->width() / 2, player->height() / 2);
    QDragEnterEvent enter(at, action, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(player.get(), &enter);
    QDropEvent event(at, action, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(player.get(), &event);
}

void HostileMediaTest::oddDrops_data()
{
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<int>("queued"); // -1: the current source stays as it was

    QList<QUrl> missing;
    for (int i = 0; i < 1000; ++i)
        missing << QUrl::fromLocalFile(media(QStringLiteral("gone-%1.ogg").arg(i)));
    QTest::newRow("1000 files that do not exist") << missing << 999;
    QTest::newRow("folder of 300 files") << QList<QUrl>{QUrl::fromLocalFile(media("many"))} << 299;
    QTest::newRow("folder with only folders") << QList<QUrl>{QUrl::fromLocalFile(media("only-folders"))} << -1;
    QTest::newRow("web, script and empty URLs")
        << QList<QUrl>{QUrl("http://127.0.0.1:1/a.ogg"), QUrl("javascript:alert(1)"), QUrl()} << 2;
    QTest::newRow("path of 100 000 characters") << QList<QUrl>{QUrl::fromLocalFile("/" + QString(100000, 'p'))} << 0;
    QTest::newRow("device file") << QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/dev/null"))} << 0;
}

void HostileMediaTest::oddDrops()
{
    QFETCH(QList<QUrl>, urls);
    QFETCH(int, queued);
    Phonon::MediaObject *object = Handoff::mediaObjectOf(player.get());
    player->playFile(song);
    QTRY_COMPARE_WITH_TIMEOUT(object->state(), Phonon::PlayingState, 15000);

    drop(urls, Qt::CopyAction);
    if (queued < 0) {
        QCOMPARE(object->currentSource().fileName(), song);
        QCOMPARE(object->queue().size(), 0);
    } else {
        QCOMPARE(object->queue().size(), queued);
    }
    // Whatever was dropped, the player settles and the user can stop it.
    QTest::qWait(1500);
    QTRY_VERIFY_WITH_TIMEOUT(settled(object->state()), 30000);
    QSignalSpy done(player.get(), &MediaPlayer::done);
    player->stop();
    QVERIFY(done.count() >= 1);
    QTRY_VERIFY_WITH_TIMEOUT(object->state() == Phonon::StoppedState || object->state() == Phonon::ErrorState, 10000);
}

MELODRIFT_TEST_MAIN(HostileMediaTest)
#include "test_hostile_media.moc"
