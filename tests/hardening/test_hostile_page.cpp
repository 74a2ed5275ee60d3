// The page as an adversary: every Player slot that takes outside input, called
// by page script with wrong types, missing or extra arguments, huge strings
// and odd URLs. Each case must leave the process running and the page
// answering, write nothing but what the case allows (and that only inside the
// test's own folders), and tell the user what the design says it tells.
// Playback slots are in test_hostile_media; lookup answers in test_bridge.

#include "browserview.h"
#include "chartservice.h"
#include "hardening.h"
#include "mainwindow.h"
#include "mediaplayer.h"
#include "modalanswerer.h"
#include "pagescript.h"
#include "scriptstring.h"
#include "testenvironment.h"
#include "urlcatcher.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QUrlQuery>
#include <QtTest>

#include <memory>

#include <phonon/MediaObject>
#include <phonon/SeekSlider>

namespace {

// Every name a case tries to write holds this, so a stray file is found
// wherever it lands.
const QString marker = QStringLiteral("hostile-mark");

QString repeated(const QString &piece, int times)
{
    QString text;
    text.reserve(piece.size() * times);
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

// A port on 127.0.0.1 where nothing listens.
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// Players made so far: a refused location must not open one.
int playerCount()
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    return int(
        std::count_if(widgets.cbegin(), widgets.cend(), [](QWidget *w) { return qobject_cast<MediaPlayer *>(w); }));
}

} // namespace

class HostilePageTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void slotCall_data();
    void slotCall();
    void playerIsOnlyItsSlots();
    void foreignPagesGetNothing_data();
    void foreignPagesGetNothing();
    void linksAndWindows_data();
    void linksAndWindows();

private:
    QVariant js(const QString &script) const;
    bool pageAnswers();
    void showChartPage();
    QStringList reportsOf(const ChartService &site) const;

    ChartService service;
    // Another site on another port: the pages a chart page may link to.
    ChartService otherSite;
    std::unique_ptr<UrlCatcher> catcher;
    std::unique_ptr<BrowserView> view;
    PageView *page = nullptr;
};

void HostilePageTest::initTestCase()
{
    QVERIFY2(service.start() && otherSite.start(), "the stand-in chart service did not start");
    MainWindow::prepareApplication();
    catcher = std::make_unique<UrlCatcher>(
        QStringList{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("file"), QStringLiteral("ftp"),
                    QStringLiteral("javascript"), QStringLiteral("data"), QStringLiteral("qrc"),
                    QStringLiteral("mailto"), QStringLiteral("ms-msdt")});

    qputenv("MELODRIFT_START_URL", service.startPage().toEncoded());
    view = std::make_unique<BrowserView>(nullptr);
    view->resize(640, 480);
    view->show();
    page = view->pageView();
    QTRY_VERIFY_WITH_TIMEOUT(js(QStringLiteral("window.chartReady === true && typeof Player === 'object'")).toBool(),
                             30000);
    // The hidden player, made once the page has loaded, is the only one.
    QTRY_COMPARE_WITH_TIMEOUT(playerCount(), 1, 30000);
}

void HostilePageTest::init()
{
    // Cases that leave the chart page come back to it here.
    showChartPage();
    catcher->urls.clear();
    js(QStringLiteral("received.youtube.length = 0; received.player.length = 0; delete window.injected;"));
}

void HostilePageTest::cleanupTestCase()
{
    view.reset();
    service.stop();
    otherSite.stop();
}

QVariant HostilePageTest::js(const QString &script) const
{
    return TestSupport::evaluate(page, script);
}

bool HostilePageTest::pageAnswers()
{
    // Script runs, Player is still there, and a lookup still comes back.
    if (js(QStringLiteral("6 * 7")).toInt() != 42)
        return false;
    const QString url = service.url(QStringLiteral("answer?hex=616c697665")).toString();
    js(QStringLiteral("received.youtube.length = 0; Player.request_youtube('%1');").arg(url));
    return TestSupport::waitForPage(
        [this] { return js(QStringLiteral("received.youtube.join('|')")).toString() == QLatin1String("alive"); },
        10000);
}

void HostilePageTest::slotCall_data()
{
    QTest::addColumn<QString>("call");        // script that calls Player, may use BASE and DOWNLOADS
    QTest::addColumn<bool>("mayThrow");       // the engine may refuse the argument types
    QTest::addColumn<QStringList>("desktop"); // URLs handed to the desktop, in order
    QTest::addColumn<QStringList>("boxes");   // beginnings of the message boxes shown, in order
    QTest::addColumn<QStringList>("written"); // files that may appear under the test's root
    QTest::addColumn<QString>("playlist");    // expected playlist text; empty: not written by this case

    const QStringList none;
    const QString playlistPath = QStringLiteral("playlist/melodrift.ram");
    const QString playlistUrl = QUrl::fromLocalFile(TestSupport::environment().playlistFile()).toString();
    const QStringList playlistWritten{QStringLiteral("playlist"), playlistPath};
    const QStringList handedPlaylist{playlistUrl};
    const QString unableToSave = QStringLiteral("Unable to save the file ");
    const QString failed = QStringLiteral("Download failed: ");

    // Outside links: only web addresses leave for the desktop.
    QTest::newRow("link: script URL") << "Player.launchMarket('javascript:window.injected=1')" << false << none << none
                                      << none << QString();
    QTest::newRow("link: local file") << "Player.launchMarket('file:///etc/passwd')" << false << none << none << none
                                      << QString();
    QTest::newRow("link: bare path") << "Player.launchMarket('/etc/passwd')" << false << none << none << none
                                     << QString();
    // The desktop runs whatever handler a scheme names (on Windows even
    // troubleshooters and searches): only web and mail addresses leave.
    QTest::newRow("link: data URL") << "Player.launchMarket('data:text/html,<b>x</b>')" << false << none << none << none
                                    << QString();
    QTest::newRow("link: handler scheme")
        << "Player.launchMarket('ms-msdt:/id PCWDiagnostic')" << false << none << none << none << QString();
    QTest::newRow("link: empty") << "Player.launchMarket('')" << false << none << none << none << QString();
    QTest::newRow("link: missing argument") << "Player.launchMarket()" << true << none << none << none << QString();
    QTest::newRow("link: number") << "Player.launchMarket(42)" << true << none << none << none << QString();
    QTest::newRow("link: null") << "Player.launchMarket(null)" << true << none << none << none << QString();
    QTest::newRow("link: object") << "Player.launchMarket({toString: function () { return 'x'; }})" << true << none
                                  << none << none << QString();
    const QString longLink = QStringLiteral("http://127.0.0.1/") + repeated(QStringLiteral("a"), 1 << 20);
    QTest::newRow("link: 1 MiB address") << QStringLiteral("Player.launchMarket('%1')").arg(longLink) << false
                                         << QStringList{longLink} << none << none << QString();
    QTest::newRow("link: extra arguments") << "Player.launchMarket('http://127.0.0.1/a', 'b', 3)" << true
                                           << QStringList{"http://127.0.0.1/a"} << none << none << QString();

    // The desktop player's playlist: one network location of up to 64 KiB,
    // written as given.
    const QString longest = QStringLiteral("http://127.0.0.1/") + repeated(QStringLiteral("x"), (64 << 10) - 17);
    QTest::newRow("playlist: 64 KiB location") << QStringLiteral("Player.play_youtube_helper('%1')").arg(longest)
                                               << false << handedPlaylist << none << playlistWritten << longest;
    QTest::newRow("playlist: one character more") << QStringLiteral("Player.play_youtube_helper('%1x')").arg(longest)
                                                  << false << none << none << none << QString();
    // X refuses a window title of megabytes and ends the program.
    const QString huge = QStringLiteral("Array(17 << 20).join('a')");
    QTest::newRow("playlist: 17 MB location")
        << QStringLiteral("Player.play_youtube_helper('http://127.0.0.1/' + %1)").arg(huge) << false << none << none
        << none << QString();
    QTest::newRow("playlist: line breaks and NUL")
        << "Player.play_youtube_helper('http://a/\\u0000b\\nc\\r\\n')" << false << none << none << none << QString();
    QTest::newRow("playlist: local file")
        << "Player.play_youtube_helper('file:///etc/passwd')" << false << none << none << none << QString();
    QTest::newRow("playlist: non-Latin text")
        << QString::fromUtf8("Player.play_youtube_helper('http://127.0.0.1/ソング♪.ogg')") << false << handedPlaylist
        << none << playlistWritten << QString::fromUtf8("http://127.0.0.1/ソング♪.ogg");
    QTest::newRow("playlist: missing argument")
        << "Player.play_youtube_helper()" << true << none << none << none << QString();
    QTest::newRow("playlist: number") << "Player.play_youtube_helper(12)" << true << none << none << none << QString();

    // Players take network locations only: no local files, devices or captures.
    QTest::newRow("media: local file") << "Player.showMedia('file:///etc/passwd')" << false << none << none << none
                                       << QString();
    QTest::newRow("media: bare path") << "Player.play_link('/dev/video0')" << false << none << none << none
                                      << QString();
    QTest::newRow("media: capture device")
        << "Player.showMedia('v4l2:///dev/video0')" << false << none << none << none << QString();
    QTest::newRow("media: file descriptor")
        << "Player.play_link('fd://0')" << false << none << none << none << QString();
    QTest::newRow("media: screen capture")
        << "Player.showMedia('screen://')" << false << none << none << none << QString();
    QTest::newRow("media: 17 MB address")
        << QStringLiteral("Player.showMedia('http://127.0.0.1/' + %1 + '.ogv')").arg(huge) << false << none << none
        << none << QString();
    QTest::newRow("media: 17 MB query") << QStringLiteral("Player.play_link('http://127.0.0.1/a.ogg?' + %1)").arg(huge)
                                        << false << none << none << none << QString();

    // Downloads: names that leave the folder or cannot be written, and
    // addresses that are not web addresses, are refused with a box.
    const QString fileUrl = service.url(QStringLiteral("files/melodrift-readme.txt")).toString();
    auto download = [&](const QString &name, const QString &url) {
        return QStringLiteral("Player.start_download(%1, %2)").arg(name, url);
    };
    const QString quotedFile = QLatin1Char('\'') + fileUrl + QLatin1Char('\'');
    QTest::newRow("download: parent folder") << download("'../" + marker + ".txt'", quotedFile) << false << none
                                             << QStringList{unableToSave} << none << QString();
    QTest::newRow("download: absolute name") << download("'" + QDir::tempPath() + "/" + marker + ".txt'", quotedFile)
                                             << false << none << QStringList{unableToSave} << none << QString();
    QTest::newRow("download: hidden file")
        << download("'.bashrc'", quotedFile) << false << none << QStringList{unableToSave} << none << QString();
    QTest::newRow("download: backslash parent") << download("'..\\\\" + marker + ".txt'", quotedFile) << false << none
                                                << QStringList{unableToSave} << none << QString();
    QTest::newRow("download: NUL in name") << download("'" + marker + "\\u0000/../../x'", quotedFile) << false << none
                                           << QStringList{unableToSave} << none << QString();
    QTest::newRow("download: name too long")
        << download("'" + marker + repeated("n", 5000) + "'", quotedFile) << false << none << QStringList{unableToSave}
        << QStringList{"downloads"} << QString();
    QTest::newRow("download: missing folder") << download("'" + marker + "/a/b.txt'", quotedFile) << false << none
                                              << QStringList{unableToSave} << QStringList{"downloads"} << QString();
    QTest::newRow("download: script address") << download("'" + marker + ".txt'", "'javascript:window.injected=1'")
                                              << false << none << QStringList{failed} << none << QString();
    QTest::newRow("download: local file address") << download("'" + marker + ".txt'", "'file:///etc/passwd'") << false
                                                  << none << QStringList{failed} << none << QString();
    QTest::newRow("download: empty address")
        << download("'" + marker + ".txt'", "''") << false << none << QStringList{failed} << none << QString();
    QTest::newRow("download: no arguments")
        << "Player.start_download()" << true << none << QStringList{failed} << none << QString();
    QTest::newRow("download: numbers") << "Player.start_download(1, 2)" << true << none << QStringList{failed} << none
                                       << QString();
    QTest::newRow("download: server error")
        << download("'" + marker + ".txt'", "'" + service.url("status/500?body=broken").toString() + "'") << false
        << none << QStringList{failed} << QStringList{"downloads"} << QString();
    // The user is asked first; declining keeps the redirect's body, as always.
    QTest::newRow("download: redirect to a local file")
        << download("'" + marker + ".txt'", "'" + service.url("redirect?to=file:///etc/passwd").toString() + "'")
        << false << none << QStringList{"Redirect to file:///etc/passwd ?"}
        << QStringList{"downloads", "downloads/" + marker + ".txt"} << QString();

    // Handlers and the rest of the interface with arguments they do not take.
    QTest::newRow("handlers with arguments") << "Player.httpFinished(1, 'x', {}); Player.httpFinished_nokia([1])"
                                             << true << none << none << none << QString();
    QTest::newRow("publish again and again")
        << "for (var i = 0; i < 200; ++i) Player.addJSObject();" << false << none << none << none << QString();
    QTest::newRow("stop with nothing playing") << "Player.stop('now', 1)" << true << none << none << none << QString();
    QTest::newRow("slot that does not exist") << "Player.format_disk('/')" << true << none << none << none << QString();
    QTest::newRow("private slot") << "Player.closeMedia()" << true << none << none << none << QString();
}

void HostilePageTest::slotCall()
{
    QFETCH(QString, call);
    QFETCH(bool, mayThrow);
    QFETCH(QStringList, desktop);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, written);
    QFETCH(QString, playlist);

    const QString root = TestSupport::environment().root();
    QFile::remove(TestSupport::environment().playlistFile());
    QDir(TestSupport::environment().downloadDirectory()).removeRecursively();
    const QSet<QString> before = Hardening::snapshot(root);
    ModalAnswerer recorder;
    const int players = playerCount();

    const QString outcome = js(QStringLiteral("(function () { try { %1; return 'returned'; }"
                                              " catch (e) { return 'threw ' + e; } })()")
                                   .arg(call))
                                .toString();
    const bool threw = outcome.startsWith(QLatin1String("threw"));
    QVERIFY2(outcome == QLatin1String("returned") || (mayThrow && threw), qPrintable(outcome));

    if (!threw && !boxes.isEmpty())
        QTRY_VERIFY_WITH_TIMEOUT(recorder.seen.size() >= boxes.size(), 15000);
    // No box follows the expected ones.
    QTest::qWait(300);

    QVERIFY2(pageAnswers(), "the page stopped answering");
    QVERIFY2(js(QStringLiteral("typeof window.injected === 'undefined'")).toBool(), "page-supplied text ran as script");
    // Nothing was played, so nothing may tell the page to move on.
    QCOMPARE(js(QStringLiteral("received.player.length")).toInt(), 0);
    QCOMPARE(view->currentPlayer()->findChild<Phonon::SeekSlider *>()->mediaObject()->currentSource().type(),
             Phonon::MediaSource::Empty);
    QCOMPARE(playerCount(), players);

    if (threw) {
        QVERIFY2(recorder.seen.isEmpty(), qPrintable(recorder.seen.join('|')));
        QVERIFY(catcher->urls.isEmpty());
    } else {
        QStringList shown;
        for (int i = 0; i < recorder.seen.size(); ++i)
            shown.append(recorder.seen.at(i).left(boxes.value(i).size()));
        QCOMPARE(shown, boxes);
        QStringList handed;
        for (const QUrl &url : catcher->urls)
            handed.append(url.toString());
        QCOMPARE(handed, desktop);
    }

    const QStringList appeared = Hardening::appearedSince(before, root);
    for (const QString &path : appeared)
        QVERIFY2(written.contains(path), qPrintable(QStringLiteral("unexpected file: ") + path));
    if (!playlist.isEmpty() && !threw) {
        QFile file(TestSupport::environment().playlistFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), playlist.toUtf8());
    }
    const QStringList stray = Hardening::strayFiles(marker, root);
    QVERIFY2(stray.isEmpty(), qPrintable(stray.join(QLatin1Char(' '))));
    const QStringList inDownloads = QDir(TestSupport::environment().downloadDirectory())
                                        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    QVERIFY2(inDownloads.isEmpty() || written.contains(QLatin1String("downloads")), qPrintable(inDownloads.join(' ')));
}

void HostilePageTest::playerIsOnlyItsSlots()
{
    // The chart page's interface, in its order.
    const QStringList pageInterface{"showMedia",    "play_link",    "play_youtube_helper", "request_youtube",
                                    "launchMarket", "httpFinished", "search_song_nokia",   "httpFinished_nokia",
                                    "exit",         "stop",         "addJSObject",         "start_download"};
    const QString names = QStringLiteral("var names = []; for (var name in Player) names.push(name); names");
    QCOMPARE(
        js(QStringLiteral("[typeof Player.setStyleSheet, typeof Player.grab, typeof Player.close].join()")).toString(),
        QStringLiteral("undefined,undefined,undefined"));

    if (PageView::engineName().startsWith(QLatin1String("QtWebEngine"))) {
        // A plain frozen object of those functions alone; nothing of the
        // channel behind it is the page's, and every call returns nothing.
        QCOMPARE(js(names).toStringList(), pageInterface);
        QCOMPARE(js(QStringLiteral("[Object.isFrozen(Player), Object.getPrototypeOf(Player) === Object.prototype,"
                                   " typeof qt, typeof __melodrift, typeof Player.deleteLater, typeof Player.stop(),"
                                   " typeof Player.httpFinished(), Player.stop.length].join()"))
                     .toString(),
                 QStringLiteral("true,true,undefined,undefined,undefined,undefined,undefined,0"));
        js(QStringLiteral("Player.stop = null; delete Player.exit; window.tamperedHere = true;"));
        QCOMPARE(js(QStringLiteral("[typeof Player.stop, typeof Player.exit].join()")).toString(),
                 QStringLiteral("function,function"));
    } else {
        // QtWebKit publishes the object itself: QObject's own members come
        // first, and each slot by its signature.
        const QStringList members{"objectName",
                                  "destroyed(QObject*)",
                                  "destroyed()",
                                  "objectNameChanged(QString)",
                                  "deleteLater()",
                                  "showMedia(QUrl)",
                                  "showMedia(QString)",
                                  "play_link(QString)",
                                  "play_youtube_helper(QString)",
                                  "request_youtube(QString)",
                                  "launchMarket(QString)",
                                  "httpFinished()",
                                  "search_song_nokia(QString)",
                                  "httpFinished_nokia()",
                                  "exit()",
                                  "stop()",
                                  "addJSObject()",
                                  "start_download(QString,QString)"};
        QCOMPARE(js(names).toStringList(), members);
        // Page script may delete it; the page loses Player, the next page gets a new one.
        js(QStringLiteral("Player.deleteLater(); window.tamperedHere = true;"));
        QTRY_VERIFY(js(QStringLiteral("try { Player.stop(); false; } catch (e) { true; }")).toBool());
    }
    js(QStringLiteral("location.reload()"));
    QTRY_VERIFY_WITH_TIMEOUT(js(QStringLiteral("!window.tamperedHere && window.chartReady === true")).toBool(), 30000);
    QVERIFY(pageAnswers());
}

void HostilePageTest::showChartPage()
{
    if (!js(QStringLiteral("window.chartReady === true")).toBool())
        page->load(service.startPage());
    QTRY_VERIFY_WITH_TIMEOUT(js(QStringLiteral("window.chartReady === true && typeof Player === 'object'")).toBool(),
                             30000);
}

// What pages of a site told it through report(): the text of every
// /status/204?report=... request it received, oldest first.
QStringList HostilePageTest::reportsOf(const ChartService &site) const
{
    QStringList reports;
    const QJsonArray requests = QJsonDocument::fromJson(site.fetch(QStringLiteral("requests"))).array();
    for (const QJsonValue &request : requests) {
        const QUrl url(request.toObject().value(QStringLiteral("path")).toString());
        if (url.path() == QLatin1String("/status/204"))
            reports.append(QUrlQuery(url).queryItemValue(QStringLiteral("report"), QUrl::FullyDecoded));
    }
    return reports;
}

void HostilePageTest::foreignPagesGetNothing_data()
{
    QTest::addColumn<QString>("navigation");  // run in the chart page
    QTest::addColumn<QStringList>("reports"); // what the foreign pages must report, in order

    // A foreign page tells its own server what it sees, never the code under test.
    const QString report = QStringLiteral("function report(t) { new Image().src = '%1status/204?report='"
                                          " + encodeURIComponent(t); }")
                               .arg(otherSite.baseUrl().toString());
    // What a page or frame can reach of the application: Player, and the
    // channel's transport under QtWebEngine.
    const QString reach = QStringLiteral("'Player ' + typeof Player + ', qt ' + typeof qt + ', bridge ' + "
                                         "typeof __melodrift");
    const auto reporting = [&](const QString &where) -> QString {
        return "<script>" + report + "report('" + where + ": ' + " + reach + ");</script>";
    };
    const QString nothing = QStringLiteral(": Player undefined, qt undefined, bridge undefined");
    auto frame = [](const QString &source) -> QString {
        return "var f = document.createElement('iframe'); f.src = " + ScriptString::literal(source)
               + "; document.body.appendChild(f);";
    };
    const QString listen = QStringLiteral("function process_youtube(t) { report('answer ' + t); }"
                                          "function player() { report('next item'); }"
                                          "function ge() { return {value: '0'}; }");
    const QString answer = ScriptString::literal(service.url(QStringLiteral("answer?hex=736563726574")).toString());
    const QString slowImage = QStringLiteral("<img src='/slow?ms=4000'>");
    auto goTo = [](const QUrl &url) -> QString {
        return "location.href = " + ScriptString::literal(url.toString()) + ";";
    };

    // The replacing document of a javascript: navigation keeps the foreign
    // address; the navigation first stops the foreign page's own load.
    const QString replacing = "<script>" + report + listen + "report('replaced, Player is ' + typeof Player);"
                              + "if (typeof Player === 'object') Player.request_youtube(" + answer + ");</script>";
    const QUrl jsNavigation =
        otherSite.page(slowImage + "<script>" + report + "report('loading');" + "function payload() { return "
                       + ScriptString::literal(replacing) + "; }"
                       + "setTimeout(function () { location.href = 'javascript:payload()'; }, 300);</script>");
    QTest::newRow("javascript: document after a foreign page's load stopped")
        << goTo(jsNavigation) << QStringList{"loading", "replaced, Player is undefined"};

    // The chart page's lookup is still on its way when a foreign page that
    // stops its own load is shown.
    const QUrl stopping = otherSite.page(slowImage + "<script>" + report + listen
                                         + "report('shown, Player is ' + typeof Player);"
                                           "setTimeout(function () { window.stop(); }, 300);</script>");
    QTest::newRow("answer after a foreign page stopped its load")
        << "Player.request_youtube(" + ScriptString::literal(service.url("slow?ms=1500&body=late").toString()) + "); "
               + goTo(stopping)
        << QStringList{"shown, Player is undefined"};

    // A foreign frame's failure is the frame's own: the chart page stays.
    const QUrl failingFrame = otherSite.page(
        "<script>" + report + "report('framed');"
        + QStringLiteral("setTimeout(function () { location.href = 'http://127.0.0.1:%1/'; }, 300);</script>")
              .arg(closedPort()));
    QTest::newRow("foreign page") << goTo(otherSite.page(reporting("foreign"))) << QStringList{"foreign" + nothing};
    QTest::newRow("data: page") << "location.href = " + ScriptString::literal("data:text/html," + reporting("data"))
                                << QStringList{"data" + nothing};
    QTest::newRow("frame of the chart service")
        << frame(service.page(reporting("same-origin frame")).toString()) << QStringList{"same-origin frame" + nothing};
    QTest::newRow("frame of another site") << frame(otherSite.page(reporting("cross-origin frame")).toString())
                                           << QStringList{"cross-origin frame" + nothing};
    QTest::newRow("data: frame") << frame("data:text/html," + reporting("data frame"))
                                 << QStringList{"data frame" + nothing};
    QTest::newRow("frame written by the page")
        << "var f = document.createElement('iframe'); document.body.appendChild(f);"
           "f.contentDocument.write("
               + ScriptString::literal(reporting("written frame")) + "); f.contentDocument.close();"
        << QStringList{"written frame" + nothing};
    QTest::newRow("foreign frame that fails to load")
        << "var f = document.createElement('iframe'); f.src = " + ScriptString::literal(failingFrame.toString())
               + "; document.body.appendChild(f);"
        << QStringList{"framed"};
}

void HostilePageTest::foreignPagesGetNothing()
{
    QFETCH(QString, navigation);
    QFETCH(QStringList, reports);
    showChartPage();
    otherSite.fetch(QStringLiteral("requests?clear=1"));

    js(navigation);
    QTRY_VERIFY_WITH_TIMEOUT(reportsOf(otherSite).size() >= reports.size(), 15000);
    // Long enough for the lookup's answer and for a page replaced in error.
    QTest::qWait(2500);
    QCOMPARE(reportsOf(otherSite), reports);
    if (reports.contains(QStringLiteral("framed"))) {
        QCOMPARE(page->url(), service.startPage());
        QVERIFY(js(QStringLiteral("window.chartReady === true && typeof Player === 'object'")).toBool());
    }
    // The service never heard from a foreign page through Player.
    const QStringList lookups = QString::fromUtf8(service.fetch(QStringLiteral("requests"))).split(QLatin1Char(','));
    QVERIFY(lookups.filter(QStringLiteral("736563726574")).isEmpty());
}

void HostilePageTest::linksAndWindows_data()
{
    QTest::addColumn<QString>("element"); // laid over the whole chart page, clicked in its middle when shown
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("followed"); // the foreign page replaced the chart page

    // No new window, under any engine; a modified click follows the link in
    // place, as QtWebKit follows it.
    // The foreign page tells its own server where it was shown.
    const QString target = ScriptString::literal(
        otherSite
            .page(QStringLiteral("<script>new Image().src = '/status/204?report=' + encodeURIComponent("
                                 "'shown, Player is ' + typeof Player + (window.opener ? ', opened' : ''));</script>"))
            .toString());
    const QString cover = QStringLiteral("position:fixed;left:0;top:0;width:100%;height:100%;display:block;"
                                         "z-index:2147483647;background:red");
    const QString link = QStringLiteral("var a = document.createElement('a'); a.href = %1; a.style.cssText = '%2';"
                                        "a.textContent = 'x'; document.body.appendChild(a);")
                             .arg(target, cover);
    const int left = Qt::LeftButton;
    const int none = Qt::NoModifier;
    QTest::newRow("link") << link << left << none << true;
    QTest::newRow("link to a new window") << link + "a.target = '_blank';" << left << none << false;
    QTest::newRow("link to a named window") << link + "a.target = 'elsewhere';" << left << none << false;
    QTest::newRow("link, Ctrl-click") << link << left << int(Qt::ControlModifier) << true;
    QTest::newRow("link, Shift-click") << link << left << int(Qt::ShiftModifier) << true;
    QTest::newRow("link, Ctrl-Shift-click") << link << left << int(Qt::ControlModifier | Qt::ShiftModifier) << true;
    QTest::newRow("link, middle click") << link << int(Qt::MiddleButton) << none << true;
    const QString mailLink =
        QStringLiteral("var a = document.createElement('a'); a.href = 'mailto:someone@example.org';"
                       "a.style.cssText = '%1'; a.textContent = 'x'; document.body.appendChild(a);")
            .arg(cover);
    // Neither goes to the desktop (only Player.launchMarket does), and the
    // page stays: the network did not fail.
    QTest::newRow("mail link") << mailLink << left << none << false;
    QTest::newRow("link of a scheme no one knows") << QString(mailLink).replace(
        QStringLiteral("mailto:someone@example.org"), QStringLiteral("melodrift-unknown:x"))
                                                   << left << none << false;
    QTest::newRow("window.open on a click")
        << QStringLiteral("var d = document.createElement('div'); d.style.cssText = '%1';"
                          "d.onclick = function () { window.opened = String(window.open(%2)); };"
                          "document.body.appendChild(d);")
               .arg(cover, target)
        << left << none << false;
    QTest::newRow("window.open without a click")
        << QStringLiteral("window.opened = String(window.open(%1));").arg(target) << 0 << none << false;
}

void HostilePageTest::linksAndWindows()
{
    QFETCH(QString, element);
    QFETCH(int, button);
    QFETCH(int, modifiers);
    QFETCH(bool, followed);
    showChartPage();
    otherSite.fetch(QStringLiteral("requests?clear=1"));

    js(element);
    if (button)
        TestSupport::click(page, QPoint(320, 240), Qt::MouseButton(button), Qt::KeyboardModifiers(modifiers));
    QTest::qWait(2500);
    QCOMPARE(reportsOf(otherSite), followed ? QStringList{"shown, Player is undefined"} : QStringList());
    if (!followed)
        QCOMPARE(page->url(), service.startPage());
    // Nothing reached the desktop.
    QCOMPARE(catcher->urls, QList<QUrl>());
}

MELODRIFT_PAGE_TEST_MAIN(HostilePageTest)
#include "test_hostile_page.moc"
