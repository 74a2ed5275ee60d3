// Player.play_youtube_helper from page script: the one-line RAM playlist on
// disk and its hand-off to the desktop, caught here so nothing is launched.

#include "pagescript.h"
#include "playbacksuite.h"
#include "testenvironment.h"
#include "urlcatcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextCodec>
#include <QtTest>

using namespace Handoff;

namespace {

// A string as Qt's debug stream writes it: quoted, with its escapes.
QString asDebugStreamWrites(const QString &text)
{
    QString written;
    QDebug(&written).nospace() << text;
    return written;
}

} // namespace

class HandoffPlaylistTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void fileHoldsExactlyTheLocation_data();
    void fileHoldsExactlyTheLocation();
    void secondCallReplacesTheFirst_data();
    void secondCallReplacesTheFirst();
    void unwritablePlaylistIsNotHandedOver_data();
    void unwritablePlaylistIsNotHandedOver();

private:
    void playYoutubeHelper(const QString &location);
    QByteArray playlistBytes() const;

    ChartService service;
    App app;
    std::unique_ptr<MessageLog> messages;
    std::unique_ptr<UrlCatcher> desktop;
    QString playlist;
};

void HandoffPlaylistTest::initTestCase()
{
    messages = std::make_unique<MessageLog>();
    playlist = TestSupport::environment().playlistFile();
    QVERIFY2(!QFileInfo::exists(QFileInfo(playlist).absolutePath()),
             "the playlist's folder must not exist before the first hand-off");
    QVERIFY2(service.start(), "the stand-in chart service did not start");
    const QUrl page = service.pageFromFile(QStringLiteral("tests/browser/test_handoff_page.html"));
    QVERIFY2(app.open(page, QStringLiteral("window.pageReady === true && typeof Player === 'object'")),
             "the main window did not show the hand-off page");
}

void HandoffPlaylistTest::init()
{
    qputenv("MELODRIFT_PLAYLIST_FILE", QFile::encodeName(playlist));
    desktop = std::make_unique<UrlCatcher>();
    messages->clear();
    app.js(QStringLiteral("failures.length = 0;"));
}

void HandoffPlaylistTest::cleanup()
{
    desktop.reset();
    QCOMPARE(app.js(QStringLiteral("failures.join('\\n')")).toString(), QString());
    // Handing over a playlist is not a reason to move the page on.
    QCOMPARE(app.js(QStringLiteral("calls.length")).toInt(), 0);
    QCOMPARE(app.js(QStringLiteral("ge('var').value")).toString(), QStringLiteral("4"));
}

void HandoffPlaylistTest::cleanupTestCase()
{
    app.close();
    messages.reset();
    service.stop();
}

void HandoffPlaylistTest::playYoutubeHelper(const QString &location)
{
    // Under QtWebEngine the call reaches the slot a few turns of the event
    // loop later; the slot's first words say it has.
    const int before = messages->count(QStringLiteral("starting...."));
    app.js(QStringLiteral("call('play_youtube_helper', %1);").arg(scriptQuoted(location)));
    QVERIFY(QTest::qWaitFor([&] { return messages->count(QStringLiteral("starting....")) > before; }, 5000));
}

// Plain text in the locale's 8-bit encoding, as a text stream writes by default.
QByteArray inLocaleEncoding(const QString &text)
{
    return QTextCodec::codecForLocale()->fromUnicode(text);
}

QByteArray HandoffPlaylistTest::playlistBytes() const
{
    QFile file(playlist);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<cannot read the playlist>");
    return file.readAll();
}

void HandoffPlaylistTest::fileHoldsExactlyTheLocation_data()
{
    QTest::addColumn<QString>("location");

    // The first row runs while the playlist's folder is still missing.
    QTest::newRow("folder missing, http URL") << QStringLiteral("http://127.0.0.1:8650/media/low-tide.ogg");
    QTest::newRow("URL with query and fragment") << QStringLiteral("http://127.0.0.1:1/a/b.ogg?x=1&y=%20z#t=3");
    QTest::newRow("rtsp URL") << QStringLiteral("rtsp://127.0.0.1:554/stream");
    QTest::newRow("mms URL with blanks") << QStringLiteral("mms://127.0.0.1/a stream ");
    QTest::newRow("letters beyond ASCII") << QStringLiteral("http://127.0.0.1:8650/media/Caf\u00e9 \u00dcber.ogg");
}

void HandoffPlaylistTest::fileHoldsExactlyTheLocation()
{
    QFETCH(QString, location);

    playYoutubeHelper(location);

    QCOMPARE(playlistBytes(), inLocaleEncoding(location));
    QCOMPARE(desktop->urls, QList<QUrl>{QUrl::fromLocalFile(playlist)});

    const QStringList debug = messages->debug();
    const int start = debug.indexOf(QStringLiteral("starting...."));
    QVERIFY2(start >= 0, qPrintable(debug.join(QLatin1Char('\n'))));
    QCOMPARE(debug.value(start + 1), asDebugStreamWrites(location));
    QCOMPARE(messages->count(QStringLiteral("starting....")), 1);
    QVERIFY2(messages->warnings().filter(QStringLiteral("playlist"), Qt::CaseInsensitive).isEmpty(),
             qPrintable(messages->warnings().join(QLatin1Char('\n'))));
}

void HandoffPlaylistTest::secondCallReplacesTheFirst_data()
{
    QTest::addColumn<QString>("firstLocation");
    QTest::addColumn<QString>("secondLocation");

    QTest::newRow("shorter after longer") << QStringLiteral("http://127.0.0.1:8650/media/a-rather-long-name.ogg")
                                          << QStringLiteral("http://127.0.0.1:8650/b.ogg");
    QTest::newRow("longer after shorter") << QStringLiteral("http://127.0.0.1:8650/b.ogg")
                                          << QStringLiteral("http://127.0.0.1:8650/media/a-rather-long-name.ogg");
    QTest::newRow("same twice") << QStringLiteral("http://127.0.0.1:8650/b.ogg")
                                << QStringLiteral("http://127.0.0.1:8650/b.ogg");
}

void HandoffPlaylistTest::secondCallReplacesTheFirst()
{
    QFETCH(QString, firstLocation);
    QFETCH(QString, secondLocation);

    playYoutubeHelper(firstLocation);
    QCOMPARE(playlistBytes(), inLocaleEncoding(firstLocation));
    playYoutubeHelper(secondLocation);

    QCOMPARE(playlistBytes(), inLocaleEncoding(secondLocation));
    const QUrl handedOver = QUrl::fromLocalFile(playlist);
    QCOMPARE(desktop->urls, (QList<QUrl>{handedOver, handedOver}));
    QCOMPARE(messages->count(QStringLiteral("starting....")), 2);
}

void HandoffPlaylistTest::unwritablePlaylistIsNotHandedOver_data()
{
    QTest::addColumn<QString>("blocked");
    QTest::addColumn<QString>("blocker");

    // Root may write anywhere, so the blockers are made of the file system's
    // shape rather than of permissions.
    QTest::newRow("folder is a file") << QStringLiteral("blocked-by-file/melodrift.ram")
                                      << QStringLiteral("blocked-by-file");
    QTest::newRow("folder below a file") << QStringLiteral("plain-file/sub/melodrift.ram")
                                         << QStringLiteral("plain-file");
    QTest::newRow("playlist is a folder")
        << QStringLiteral("folder-named-ram/melodrift.ram") << QStringLiteral("folder-named-ram/melodrift.ram/");
}

void HandoffPlaylistTest::unwritablePlaylistIsNotHandedOver()
{
    QFETCH(QString, blocked);
    QFETCH(QString, blocker);

    const QString root = TestSupport::environment().root() + QStringLiteral("/unwritable-") + QTest::currentDataTag();
    const QString target = root + QLatin1Char('/') + blocked;
    if (blocker.endsWith(QLatin1Char('/'))) {
        QVERIFY(QDir().mkpath(root + QLatin1Char('/') + blocker));
    } else {
        QVERIFY(QDir().mkpath(root));
        QFile file(root + QLatin1Char('/') + blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a folder");
    }
    qputenv("MELODRIFT_PLAYLIST_FILE", QFile::encodeName(target));

    const QString location = QStringLiteral("http://127.0.0.1:8650/media/low-tide.ogg");
    playYoutubeHelper(location);

    QVERIFY2(desktop->urls.isEmpty(), "a playlist that could not be written was handed to the desktop");
    QVERIFY(!QFileInfo(target).isFile());
    // Said in the debug output, naming the file, after the usual two messages.
    const QStringList warnings = messages->warnings().filter(target);
    QVERIFY2(warnings.size() == 1, qPrintable(messages->warnings().join(QLatin1Char('\n'))));
    const QStringList debug = messages->debug();
    QCOMPARE(debug.value(debug.indexOf(QStringLiteral("starting....")) + 1), asDebugStreamWrites(location));

    // A folder that can be made again takes the next hand-off as usual.
    qputenv("MELODRIFT_PLAYLIST_FILE", QFile::encodeName(playlist));
    playYoutubeHelper(location);
    QCOMPARE(playlistBytes(), inLocaleEncoding(location));
    QCOMPARE(desktop->urls, QList<QUrl>{QUrl::fromLocalFile(playlist)});
}

MELODRIFT_PAGE_TEST_MAIN(HandoffPlaylistTest)
#include "test_handoff_playlist.moc"
