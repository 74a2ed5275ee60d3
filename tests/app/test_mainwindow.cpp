#include "browserview.h"
#include "chartservice.h"
#include "engineprobe.h"
#include "fixtureserver.h"
#include "mainwindow.h"
#include "mediaplayer.h"
#include "messagelog.h"
#include "modalanswerer.h"
#include "pagescript.h"
#include "pagetrust.h"
#include "pageview.h"
#include "paths.h"
#include "testenvironment.h"
#include "titlebar.h"

#include <QFile>
#include <QGraphicsScene>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStyle>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <unistd.h>

#include <memory>

namespace {

// A loopback URL on which nothing listens: the port was free a moment ago
// and is closed again.
QUrl unreachableStartPage()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return QUrl();
    const quint16 port = probe.serverPort();
    probe.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1/charts/v3.6w_pro/cutter11.php").arg(port));
}

// The error page as the page host must compose it: six pieces, each after a
// run of tabs and eight spaces, no line breaks, nothing after the last.
QString composedErrorPage(const QString &startUrl)
{
    const QString eight(8, QLatin1Char(' '));
    return QStringLiteral("\t") + eight + QStringLiteral("<html>") + QStringLiteral("\t\t") + eight
           + QStringLiteral("<body onload='' style='background:black;color:white;'>") + QStringLiteral("\t\t\t") + eight
           + QStringLiteral("Check your internet connection!<br><br>") + QStringLiteral("\t\t\t") + eight
           + QStringLiteral("<a style='color:white;' href='") + startUrl + QStringLiteral("'>Try again</a>")
           + QStringLiteral("\t\t") + eight + QStringLiteral("</body>") + QStringLiteral("\t") + eight
           + QStringLiteral("</html>");
}

// What the engine has drawn of the page, as the widget shows it.
QColor pixelOf(PageView *page, const QPoint &at)
{
    return QColor(page->widget()->grab().toImage().pixel(at));
}

// Steps from a shade to a far one inside one window pixel of a picture at
// twice the window's size: text drawn at the screen's resolution has them, a
// picture drawn at the window's size and blown up (smoothed or not) has none.
int sharpSteps(const QImage &image, const QRect &area)
{
    int steps = 0;
    for (int y = area.top(); y < area.bottom(); y += 2) {
        for (int x = area.left(); x < area.right(); x += 2) {
            steps += (qAbs(qGray(image.pixel(x, y)) - qGray(image.pixel(x + 1, y))) > 100)
                     + (qAbs(qGray(image.pixel(x, y)) - qGray(image.pixel(x, y + 1))) > 100);
        }
    }
    return steps;
}

bool underWebEngine()
{
    return PageView::engineName().startsWith(QLatin1String("QtWebEngine"));
}

QWidget *hiddenPlayer()
{
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (top->inherits("MediaPlayer") && !top->isVisible())
            return top;
    }
    return nullptr;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void fillsTheFixedWindow();
    void showsTheChartWithPlayer();
    void pageIsBlackWithoutHorizontalScrollBar();
    void errorPageWhenServiceIsDown();
    void errorPageText();
    void tryAgainReloadsStartPage();
    void titleBarFollowsLoadSignals();
    void defaultSettingsAreIni();
    void drawsForTheScreenScale();
    void userAgentAsPageAndServerSeeIt();
    void consoleMessages_data();
    void consoleMessages();
    void pageQuestionsRefusedWithoutPrompt_data();
    void pageQuestionsRefusedWithoutPrompt();
    void pageMediaPlaysWithoutAClick();
    void refusesRootWithoutSandbox();
    void lostRendererShowsTheErrorPage();

private:
    // The window as main() makes it, on the given start page.
    void makeWindow(const QUrl &startPage);
    bool waitForLoad(bool ok, int timeoutMs = 30000);
    QVariant js(const QString &script) const;

    ChartService service;
    FixtureServer tlsServer;
    QTemporaryDir certificates;
    std::unique_ptr<MainWindow> window;
    BrowserView *view = nullptr;
    PageView *page = nullptr;
    std::unique_ptr<QSignalSpy> loads;
    std::unique_ptr<MessageLog> messages;
};

void TestMainWindow::initTestCase()
{
    MainWindow::prepareApplication();
    QVERIFY2(service.start(), "the stand-in chart service did not start");
    // A certificate of the right name, but self-signed: not to be trusted.
    const QString dir = certificates.path() + QLatin1Char('/');
    QVERIFY(FixtureServer::makeCertificate(dir + "self.pem", dir + "self.key", QStringLiteral("127.0.0.1"),
                                           {QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1")}));
    QVERIFY(tlsServer.start({{dir + "self.pem", dir + "self.key"}}));
    // Debug output of the process, where the page's console messages arrive.
    messages = std::make_unique<MessageLog>();
}

void TestMainWindow::cleanupTestCase()
{
    messages.reset();
}

void TestMainWindow::cleanup()
{
    loads.reset();
    window.reset();
    view = nullptr;
    page = nullptr;
}

void TestMainWindow::makeWindow(const QUrl &startPage)
{
    // Read while the view is built, so it must be in place first.
    qputenv("MELODRIFT_START_URL", startPage.toEncoded());
    window = std::make_unique<MainWindow>();
    view = window->browserView();
    QVERIFY(view);
    page = view->pageView();
    QVERIFY(page);
    loads = std::make_unique<QSignalSpy>(page, &PageView::loadFinished);
    window->setFixedSize(640, 480);
    window->setVisible(true);
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

QVariant TestMainWindow::js(const QString &script) const
{
    return TestSupport::evaluate(page, script);
}

bool TestMainWindow::waitForLoad(bool ok, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    int seen = 0;
    while (clock.elapsed() < timeoutMs) {
        for (; seen < loads->count(); ++seen) {
            if (loads->at(seen).first().toBool() == ok)
                return true;
        }
        loads->wait(100);
    }
    return false;
}

void TestMainWindow::fillsTheFixedWindow()
{
    makeWindow(service.startPage());

    QCOMPARE(window->size(), QSize(640, 480));
    QCOMPARE(window->minimumSize(), QSize(640, 480));
    QCOMPARE(window->maximumSize(), QSize(640, 480));
    QCOMPARE(view->geometry(), QRect(0, 0, 640, 480));
    QCOMPARE(page->widget()->geometry(), QRect(0, 0, 640, 480));

    auto *bar = view->findChild<TitleBar *>();
    QVERIFY(bar);
    QCOMPARE(bar->width(), 640);
    QCOMPARE(bar->height(), bar->sizeHint().height());

    // Loading the page must not change any of it, and the page lays out at that size.
    QVERIFY(waitForLoad(true));
    QCOMPARE(page->widget()->geometry(), QRect(0, 0, 640, 480));
    QCOMPARE(js(QStringLiteral("[window.innerWidth, window.innerHeight].join()")).toString(),
             QStringLiteral("640,480"));
    QCOMPARE(window->size(), QSize(640, 480));

    // The hidden first player, made once the page has loaded, is kept at
    // the view's size as well.
    QWidget *player = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT(player = hiddenPlayer(), 10000);
    QCOMPARE(player, view->listeningPlayer());
    QCOMPARE(player->size(), QSize(640, 480));
}

void TestMainWindow::showsTheChartWithPlayer()
{
    messages->clear();
    makeWindow(service.startPage());
    QVERIFY(waitForLoad(true));

    // Player was there for the page's own start-up script, which reports
    // what it found on the console.
    const QStringList ready = messages->console().filter(QStringLiteral("chart ready:"));
    QCOMPARE(ready.size(), 1);
    QVERIFY2(ready.first().startsWith(QStringLiteral("\"chart ready: 8 items, Player present on line:")),
             qPrintable(ready.first()));

    QCOMPARE(page->url(), service.startPage());
    QCOMPARE(js(QStringLiteral("typeof Player")).toString(), QStringLiteral("object"));
    // The page's own start-up script saw Player too (it records what it found).
    QCOMPARE(js(QStringLiteral("window.chartReady === true")).toBool(), true);
    QCOMPARE(js(QStringLiteral("document.querySelectorAll('#chart li').length")).toInt(), 8);

    // A later page gets Player again.
    QUrl next = service.url(QStringLiteral("status/200"));
    next.setQuery(QStringLiteral("type=text/html&body=%3Cp%3Enext%3C/p%3E"));
    loads->clear();
    page->load(next);
    QVERIFY(waitForLoad(true));
    QCOMPARE(js(QStringLiteral("typeof Player")).toString(), QStringLiteral("object"));
}

void TestMainWindow::pageIsBlackWithoutHorizontalScrollBar()
{
    makeWindow(service.startPage());
    QVERIFY(waitForLoad(true));
    // A page that paints no background of its own, far wider and higher
    // than the window.
    QUrl wide = service.url(QStringLiteral("status/200"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("type"), QStringLiteral("text/html"));
    query.addQueryItem(QStringLiteral("body"),
                       QStringLiteral("<html><body style='margin:0'><div style='width:3000px;height:10px'>"
                                      "</div><div style='height:3000px'></div></body></html>"));
    wide.setQuery(query);
    loads->clear();
    page->load(wide);
    QVERIFY(waitForLoad(true));

    QVERIFY(js(QStringLiteral("document.documentElement.scrollWidth")).toInt() >= 3000);
    // A vertical scroll bar is drawn at the right edge, none along the bottom.
    // QtWebEngine may still show the chart's last frame when the load
    // finishes: the new page is awaited, not assumed.
    QTRY_COMPARE_WITH_TIMEOUT(pixelOf(page, QPoint(300, 300)), QColor(Qt::black), 10000);
    QCOMPARE(pixelOf(page, QPoint(300, 476)), QColor(Qt::black));
    QVERIFY(pixelOf(page, QPoint(636, 300)) != QColor(Qt::black));
}

void TestMainWindow::errorPageWhenServiceIsDown()
{
    const QUrl start = unreachableStartPage();
    QVERIFY(start.isValid());
    makeWindow(start);

    QVERIFY2(waitForLoad(false), "the start page did not fail");
    QVERIFY2(waitForLoad(true), "no page was shown after the failure");
    const QString text = js(QStringLiteral("document.body.innerText")).toString();
    QVERIFY2(text.contains(QStringLiteral("Check your internet connection!")), qPrintable(text));
    QCOMPARE(page->url(), PageTrust::errorPageUrl());

    // Text, address and colours of the link and the page, as the engine styled them.
    QCOMPARE(js(QStringLiteral("var a = document.querySelector('a'), b = document.body;"
                               "[a.innerText, getComputedStyle(a).color, getComputedStyle(b).backgroundColor,"
                               " getComputedStyle(b).color].join('|')"))
                 .toString(),
             QStringLiteral("Try again|rgb(255, 255, 255)|rgb(0, 0, 0)|rgb(255, 255, 255)"));
    QCOMPARE(QUrl(js(QStringLiteral("document.querySelector('a').getAttribute('href')")).toString()), start);

    QCOMPARE(js(QStringLiteral("typeof Player")).toString(), QStringLiteral("object"));
    QCOMPARE(js(QStringLiteral("typeof Player.stop")).toString(), QStringLiteral("function"));

    // The error page's own load succeeds and brings no second error page.
    const int settled = loads->count();
    QTest::qWait(1500);
    QCOMPARE(loads->count(), settled);

    // Loading stopped, so the title bar leaves.
    auto *bar = view->findChild<TitleBar *>();
    QVERIFY(bar);
    QTRY_COMPARE_WITH_TIMEOUT(bar->y(), -bar->height(), 5000);
}

void TestMainWindow::errorPageText()
{
    const QUrl start = unreachableStartPage();
    qputenv("MELODRIFT_START_URL", start.toEncoded());
    const QString page = BrowserView::errorPage();
    QCOMPARE(page, composedErrorPage(start.toString()));
    QVERIFY(!page.contains(QLatin1Char('\n')) && !page.contains(QLatin1Char('\r')));
    QVERIFY(page.endsWith(QStringLiteral("</html>")));
    QCOMPARE(page.count(QLatin1Char('\t')), 12);

    // A start page from configuration stays an address in the link.
    const QString hostile =
        QStringLiteral("http://127.0.0.1:1/a'onmouseover='x'&b=\"<script>window.injected=1</script>");
    qputenv("MELODRIFT_START_URL", hostile.toUtf8());
    QWidget host;
    PageView *parsed = PageView::create(&host);
    QSignalSpy loaded(parsed, &PageView::loadFinished);
    parsed->showErrorPage(BrowserView::errorPage(), PageTrust::errorPageUrl());
    QVERIFY(!loaded.isEmpty() || loaded.wait(30000));
    const QString link = TestSupport::evaluate(parsed, QStringLiteral("var a = document.querySelector('a');"
                                                                      "[a.getAttribute('href'), a.attributes.length,"
                                                                      " document.scripts.length].join('|')"))
                             .toString();
    QCOMPARE(link, QUrl(hostile).toString() + QStringLiteral("|2|0"));
    qputenv("MELODRIFT_START_URL", start.toEncoded());
}

void TestMainWindow::defaultSettingsAreIni()
{
    QSettings settings;
    QCOMPARE(settings.format(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("BrowserMainWindow/location"), QStringLiteral("http://127.0.0.1/x"));
    // No status check: with no organization name Qt reports AccessError
    // even though the file is written.
    settings.sync();

    const QString configHome = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    QVERIFY(!configHome.isEmpty());
    QVERIFY2(settings.fileName().startsWith(configHome + QLatin1Char('/')), qPrintable(settings.fileName()));
    QCOMPARE(Paths::settingsFile(), settings.fileName());

    QFile file(settings.fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY2(text.contains("[BrowserMainWindow]\n"), text.constData());
    QVERIFY2(text.contains("location=http://127.0.0.1/x\n"), text.constData());

    // The desktop entry is installed under the id start-up gives the desktop.
    QVERIFY(QFile::exists(
        TestEnvironment::sourcePath(QStringLiteral("resources/%1.desktop").arg(QGuiApplication::desktopFileName()))));
}

void TestMainWindow::tryAgainReloadsStartPage()
{
    const QUrl start = unreachableStartPage();
    QVERIFY(start.isValid());
    makeWindow(start);
    QVERIFY(waitForLoad(false));
    QVERIFY(waitForLoad(true));
    QVERIFY(js(QStringLiteral("document.body.innerText")).toString().contains(QStringLiteral("Check your internet")));

    // The service comes back on the start page's port.
    QTcpServer server;
    QVERIFY2(server.listen(QHostAddress::LocalHost, quint16(start.port())), "the port was taken meanwhile");
    QList<QByteArray> requests;
    connect(&server, &QTcpServer::newConnection, &server, [&server, &requests] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, socket, [socket, &requests] {
                const QByteArray request = socket->readAll();
                if (!request.contains("\r\n\r\n"))
                    return; // ask for the rest first
                requests.append(request.left(request.indexOf("\r\n")));
                const QByteArray body("<html><body><p id='back'>back again</p></body></html>");
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n"
                              "Content-Length: "
                              + QByteArray::number(body.size()) + "\r\n\r\n" + body);
                socket->disconnectFromHost();
            });
        }
    });

    loads->clear();
    js(QStringLiteral("document.querySelector('a').click()"));
    QVERIFY(waitForLoad(true));
    QTRY_VERIFY(js(QStringLiteral("document.body.innerText")).toString().contains(QStringLiteral("back again")));
    QCOMPARE(requests.value(0), QByteArray("GET " + start.path(QUrl::FullyEncoded).toLatin1() + " HTTP/1.1"));
    QCOMPARE(page->url(), start);
    QCOMPARE(js(QStringLiteral("typeof Player")).toString(), QStringLiteral("object"));
}

void TestMainWindow::titleBarFollowsLoadSignals()
{
    makeWindow(service.startPage());
    QVERIFY(waitForLoad(true));
    auto *bar = view->findChild<TitleBar *>();
    QVERIFY(bar);
    QTRY_COMPARE_WITH_TIMEOUT(bar->y(), -bar->height(), 5000);

    const auto boxShown = [bar] {
        const QImage image = bar->grab().toImage();
        const QColor box = bar->palette().color(QPalette::HighlightedText);
        // The progress box's left edge, as the loading look paints it.
        return QColor(image.pixel(bar->width() - 105, bar->height() / 2)) == box;
    };

    // What the X server shows there: the bar in front of the page, not
    // only a bar that paints itself. QtWebEngine draws the page in a widget
    // of its own that covers whatever it does not know is above it.
    const QPoint boxEdge(bar->width() - 105, bar->height() / 2);
    const auto boxOnScreen = [this, bar, boxEdge] {
        const QImage shot = window->screen()->grabWindow(window->winId()).toImage();
        const QPoint at = bar->mapTo(window.get(), boxEdge) * qRound(window->devicePixelRatioF());
        return QColor(shot.pixel(at)) == bar->palette().color(QPalette::HighlightedText);
    };
    QVERIFY(!boxOnScreen());

    emit page->loadProgress(30);
    QCOMPARE(bar->pos(), QPoint(0, 0));
    QVERIFY(boxShown());
    QTRY_VERIFY_WITH_TIMEOUT(boxOnScreen(), 5000);
    // The page repainting under it leaves it in front.
    js(QStringLiteral("document.body.style.background = 'rgb(1, 2, 3)'"));
    QTest::qWait(300);
    QVERIFY(boxOnScreen());

    // A start alone does not refresh the bar: were it to pass on the reset
    // progress, the box would go and the bar would slide away.
    emit page->loadStarted();
    QTest::qWait(1300);
    QCOMPARE(bar->pos(), QPoint(0, 0));
    QVERIFY(boxShown());

    emit page->loadFinished(true);
    QVERIFY(!boxShown());
    QCOMPARE(bar->pos(), QPoint(0, 0));
    QTRY_COMPARE_WITH_TIMEOUT(bar->y(), -bar->height(), 5000);
    // Out of sight on the screen too: the page shows where it was.
    QTRY_VERIFY_WITH_TIMEOUT(!boxOnScreen(), 5000);
    // A successful load shows no error page.
    QCOMPARE(page->url(), service.startPage());
}

// Runs at the screen's own scale, and with QT_SCALE_FACTOR=2 as test_mainwindow_scaled.
void TestMainWindow::drawsForTheScreenScale()
{
    makeWindow(service.startPage());
    QVERIFY(waitForLoad(true));
    const int scale = qRound(window->devicePixelRatioF());
    QCOMPARE(js(QStringLiteral("window.devicePixelRatio")).toInt(), scale);
    QCOMPARE(js(QStringLiteral("window.innerWidth")).toInt(), 640);
    // Icons, such as the player's buttons, come from images of the screen's resolution.
    const QIcon play = QApplication::style()->standardIcon(QStyle::SP_MediaPlay);
    QCOMPARE(play.pixmap(16, 16).size(), QSize(16, 16) * scale);
    QCOMPARE(QImage(QStringLiteral(":/images/screen.png")).size(), QSize(239, 98));
    QCOMPARE(QImage(QStringLiteral(":/images/screen@2x.png")).size(), QSize(478, 196));

    // What the X server shows, the title bar in front as while a page loads.
    emit page->loadProgress(30);
    const auto shot = [this] { return window->screen()->grabWindow(window->winId()).toImage(); };
    QCOMPARE(shot().size(), QSize(640, 480) * scale);
    if (scale == 2) {
        const QRect title(0, 0, 1280, view->findChild<TitleBar *>()->height() * 2);
        QTRY_VERIFY2(sharpSteps(shot(), title) > 20, "the title bar is not drawn at the screen's resolution");
        QTRY_VERIFY2(sharpSteps(shot(), QRect(0, title.height(), 1280, 960 - title.height())) > 100,
                     "the page is not drawn at the screen's resolution");
    }
}

// The identity of the page, whole, as its script reads it; as servers see
// it, without its trailing blank under QtWebEngine: Chromium cannot send a
// header value's last blank.
void TestMainWindow::userAgentAsPageAndServerSeeIt()
{
    const QString agent = PageView::userAgent();
    QCOMPARE(agent.size(), 56);
    service.fetch(QStringLiteral("requests?clear=1"));
    makeWindow(service.startPage());
    QVERIFY(waitForLoad(true));
    js(QStringLiteral("var f = document.createElement('iframe'); f.onload = function () { window.framed = true; };"
                      "f.src = '/status/200?type=text/html&body=frame'; document.body.appendChild(f);"));
    QTRY_VERIFY_WITH_TIMEOUT(js(QStringLiteral("window.framed === true")).toBool(), 10000);
    QCOMPARE(js(QStringLiteral("[navigator.userAgent, frames[0].navigator.userAgent, navigator.appVersion].join('|')"))
                 .toString(),
             agent + QLatin1Char('|') + agent + QLatin1Char('|') + agent.mid(int(qstrlen("Mozilla/"))));

    const QString sent = underWebEngine() ? agent.chopped(1) : agent;
    const QJsonArray requests = QJsonDocument::fromJson(service.fetch(QStringLiteral("requests"))).array();
    QStringList paths;
    for (const QJsonValue &request : requests) {
        const QJsonObject r = request.toObject();
        paths.append(r.value(QStringLiteral("path")).toString());
        QVERIFY2(r.value(QStringLiteral("user_agent")).toString() == sent, qPrintable(paths.last()));
    }
    // The page, its style sheet, its script and the frame.
    for (const QString &path :
         {QStringLiteral("/charts/v3.6w_pro/cutter11.php"), QStringLiteral("/charts/v3.6w_pro/chart.css"),
          QStringLiteral("/charts/v3.6w_pro/chart.js"), QStringLiteral("/status/200?type=text/html&body=frame")})
        QVERIFY2(paths.contains(path), qPrintable(paths.join(QLatin1Char(' '))));
}

void TestMainWindow::consoleMessages_data()
{
    QTest::addColumn<QString>("statement"); // on line 3 of the page
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("webKitText"); // QtWebKit passes on the first value only

    QTest::newRow("log") << QStringLiteral("console.log('plain')") << QStringLiteral("plain")
                         << QStringLiteral("plain");
    QTest::newRow("error") << QStringLiteral("console.error('broken')") << QStringLiteral("broken")
                           << QStringLiteral("broken");
    QTest::newRow("warning") << QStringLiteral("console.warn('careful')") << QStringLiteral("careful")
                             << QStringLiteral("careful");
    QTest::newRow("quote and backslash") << QStringLiteral("console.log('say \"hi\" \\\\o/')")
                                         << QStringLiteral("say \"hi\" \\o/") << QStringLiteral("say \"hi\" \\o/");
    QTest::newRow("several values") << QStringLiteral("console.log('values', 1, null)")
                                    << QStringLiteral("values 1 null") << QStringLiteral("values");
}

// Whatever its level, once, as a debug message in the design's words. Where
// the message came from is as the engine tells it: QtWebEngine names the
// line and the page, QtWebKit at times line 0 and no source.
void TestMainWindow::consoleMessages()
{
    QFETCH(QString, statement);
    QFETCH(QString, text);
    QFETCH(QString, webKitText);
    const QUrl url = service.page(QStringLiteral("<html><body>\n<script>\n") + statement
                                  + QStringLiteral(";\n</script></body></html>"));
    messages->clear();
    makeWindow(url);
    QVERIFY(waitForLoad(true));

    QString quoted = underWebEngine() ? text : webKitText;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
    static const QRegularExpression format(QStringLiteral("^\"(.*) on line:(-?\\d+) Source:(.*)\"$"));
    QList<QRegularExpressionMatch> found;
    QList<QtMsgType> types;
    for (const MessageLog::Entry &entry : messages->entries()) {
        const QRegularExpressionMatch match = format.match(entry.text);
        if (match.hasMatch() && match.captured(1) == quoted) {
            found.append(match);
            types.append(entry.type);
        }
    }
    QCOMPARE(found.size(), 1);
    QCOMPARE(types.first(), QtDebugMsg);
    if (underWebEngine()) {
        QCOMPARE(found.first().captured(2), QStringLiteral("3"));
        QCOMPARE(QUrl(found.first().captured(3)), page->url());
    }
}

void TestMainWindow::pageQuestionsRefusedWithoutPrompt_data()
{
    QTest::addColumn<QUrl>("address");
    QTest::addColumn<bool>("errorPage"); // else the server's own answer stays
    QTest::addColumn<QString>("text");   // what the page shows

    QTest::newRow("Basic authentication")
        << service.url(QStringLiteral("auth/basic")) << false << QStringLiteral("authorization required");
    QTest::newRow("certificate not trusted") << tlsServer.https(0, QStringLiteral("/bytes/100")) << true
                                             << QStringLiteral("Check your internet connection!");
}

// The page's own questions get no box and no answer: authentication is
// refused, as is a certificate the system does not trust.
void TestMainWindow::pageQuestionsRefusedWithoutPrompt()
{
    QFETCH(QUrl, address);
    QFETCH(bool, errorPage);
    QFETCH(QString, text);
    ModalAnswerer boxes;
    makeWindow(address);
    QTRY_VERIFY_WITH_TIMEOUT(
        js(QStringLiteral("document.body ? document.body.innerText : ''")).toString().contains(text), 20000);
    QTest::qWait(1000);
    QCOMPARE(page->url(), errorPage ? PageTrust::errorPageUrl() : address);
    QVERIFY2(boxes.seen.isEmpty(), qPrintable(boxes.seen.join(QLatin1Char('|'))));
}

// The page's own audio starts from its script, without a click.
void TestMainWindow::pageMediaPlaysWithoutAClick()
{
    const QString song = service.url(QStringLiteral("media/low-tide.ogg")).toString();
    makeWindow(service.page(QStringLiteral("<audio src='%1'></audio><script>"
                                           "var a = document.querySelector('audio'); window.played = [];"
                                           "a.onended = function () { played.push('ended'); };"
                                           "var p = a.play(); if (p && p.catch) p.catch(function (e) {"
                                           " played.push('refused ' + e.name); });</script>")
                                .arg(song)));
    QVERIFY(waitForLoad(true));
    QTRY_VERIFY_WITH_TIMEOUT(js(QStringLiteral("document.querySelector('audio').currentTime")).toDouble() > 0.5, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(js(QStringLiteral("played.join()")).toString(), QStringLiteral("ended"), 15000);
}

// Chromium's sandbox does not start for root: the program says what to do
// and stops, unless the sandbox was knowingly switched off.
void TestMainWindow::refusesRootWithoutSandbox()
{
    if (!underWebEngine())
        QSKIP("QtWebEngine's sandbox only");
    if (geteuid() != 0)
        QSKIP("needs root");
    const QString melodrift = QString::fromLocal8Bit(qgetenv("MELODRIFT_TEST_PROGRAM"));
    QVERIFY2(QFile::exists(melodrift), "MELODRIFT_TEST_PROGRAM names no program (run the suite through ctest)");
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"));
    env.remove(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"));
    program.setProcessEnvironment(env);
    program.start(melodrift, {QStringLiteral("--version")});
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitCode(), 1);
    const QString said = QString::fromLocal8Bit(program.readAllStandardError());
    QVERIFY2(said.contains(QStringLiteral("Run Melodrift as a normal user.")), qPrintable(said));
    QVERIFY2(program.readAllStandardOutput().isEmpty(), "it went on");

    // Switched off knowingly, it starts.
    env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--no-sandbox"));
    program.setProcessEnvironment(env);
    program.start(melodrift, {QStringLiteral("--version")});
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitCode(), 0);
}

// A renderer that dies takes the page with it: the error page replaces it,
// with Player, and Try again brings the chart back.
void TestMainWindow::lostRendererShowsTheErrorPage()
{
    makeWindow(service.startPage());
    QVERIFY(waitForLoad(true));
    loads->clear();
    if (!EngineProbe::killRenderer(page->widget()))
        QSKIP("the engine renders in the program's own process");
    QVERIFY(waitForLoad(false));
    QVERIFY(waitForLoad(true));
    QCOMPARE(page->url(), PageTrust::errorPageUrl());
    QTRY_COMPARE_WITH_TIMEOUT(js(QStringLiteral("typeof Player")).toString(), QStringLiteral("object"), 10000);
    loads->clear();
    js(QStringLiteral("document.querySelector('a').click()"));
    QVERIFY(waitForLoad(true));
    QCOMPARE(page->url(), service.startPage());
    QTRY_VERIFY_WITH_TIMEOUT(js(QStringLiteral("window.chartReady === true && typeof Player === 'object'")).toBool(),
                             10000);
}

MELODRIFT_PAGE_TEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
