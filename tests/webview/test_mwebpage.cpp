#include "chartservice.h"
#include "messagelog.h"
#include "mwebpage.h"
#include "mwebview.h"
#include "testenvironment.h"

#include <QGraphicsScene>
#include <QGraphicsView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>
#include <QWebFrame>

#include <memory>

namespace {

// What the chart service expects to see, byte for byte: the parenthesis is
// never closed and the last character is a blank.
const QByteArray expectedAgent("Mozilla/5.0 (SymbianOS/9.4; U; Series60/5.0 windows - - ");

// Opens the protected overrides to the test, so inputs the engine never
// produces (line 0, empty source, odd URLs) can be checked as well.
class OpenPage : public MWebPage
{
public:
    using MWebPage::javaScriptConsoleMessage;
    using MWebPage::MWebPage;
    using MWebPage::userAgentForUrl;
};

QList<MessageLog::Entry> messagesContaining(const MessageLog &log, const QString &marker)
{
    QList<MessageLog::Entry> found;
    const QList<MessageLog::Entry> entries = log.entries();
    for (const MessageLog::Entry &m : entries) {
        if (m.text.contains(marker))
            found.append(m);
    }
    return found;
}

} // namespace

class TestMWebPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void agentOnEveryRequestOfThePage();
    void agentForAnyUrl_data();
    void agentForAnyUrl();
    void consoleMessageFromPageScript();
    void consoleMessageText_data();
    void consoleMessageText();

private:
    bool load(const QUrl &url);

    ChartService service;
    QGraphicsScene *scene = nullptr;
    QGraphicsView *view = nullptr;
    MWebView *web = nullptr;
    OpenPage *page = nullptr;
    std::unique_ptr<MessageLog> messages;
};

void TestMWebPage::initTestCase()
{
    QCOMPARE(expectedAgent.size(), 56);
    QVERIFY2(service.start(), "the stand-in chart service did not start");
}

void TestMWebPage::init()
{
    scene = new QGraphicsScene;
    view = new QGraphicsView(scene);
    view->resize(640, 480);
    web = new MWebView(view);
    web->resize(640, 480);
    page = new OpenPage(web);
    web->setPage(page);
    messages = std::make_unique<MessageLog>();
}

void TestMWebPage::cleanup()
{
    messages.reset();
    delete view;
    delete scene;
    view = nullptr;
    scene = nullptr;
    web = nullptr;
    page = nullptr;
}

bool TestMWebPage::load(const QUrl &url)
{
    QSignalSpy finished(web, &QGraphicsWebView::loadFinished);
    web->load(url);
    if (finished.isEmpty() && !finished.wait(20000))
        return false;
    return finished.first().first().toBool();
}

void TestMWebPage::agentOnEveryRequestOfThePage()
{
    service.fetch(QStringLiteral("requests?clear=1"));
    QVERIFY(load(service.startPage()));
    // A request of page script, after the page and its sub-resources.
    const QVariant status = page->mainFrame()->evaluateJavaScript(
        QStringLiteral("var x = new XMLHttpRequest(); x.open('GET', '/status/200?body=from-script', false);"
                       "x.send(); x.status"));
    QCOMPARE(status.toInt(), 200);

    const QJsonArray log = QJsonDocument::fromJson(service.fetch(QStringLiteral("requests"))).array();
    QSet<QString> paths;
    for (const QJsonValue &entry : log) {
        const QJsonObject request = entry.toObject();
        const QString path = request.value(QStringLiteral("path")).toString();
        paths.insert(path);
        QVERIFY2(request.value(QStringLiteral("user_agent")).toString().toUtf8() == expectedAgent,
                 qPrintable(path + QStringLiteral(" was sent as \"")
                            + request.value(QStringLiteral("user_agent")).toString() + QLatin1Char('"')));
    }
    const QStringList wanted{
        QStringLiteral("/charts/v3.6w_pro/cutter11.php"), QStringLiteral("/charts/v3.6w_pro/chart.css"),
        QStringLiteral("/charts/v3.6w_pro/chart.js"), QStringLiteral("/status/200?body=from-script")};
    for (const QString &path : wanted)
        QVERIFY2(paths.contains(path), qPrintable(path + QStringLiteral(" was never requested")));
}

void TestMWebPage::agentForAnyUrl_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::newRow("empty") << QUrl();
    QTest::newRow("invalid") << QUrl(QStringLiteral("http://[::1"));
    QTest::newRow("chart service") << service.startPage();
    QTest::newRow("https") << QUrl(QStringLiteral("https://127.0.0.1/x?y=1"));
    QTest::newRow("local file") << QUrl::fromLocalFile(QStringLiteral("/tmp/a.html"));
}

void TestMWebPage::agentForAnyUrl()
{
    QFETCH(QUrl, url);
    QCOMPARE(page->userAgentForUrl(url).toUtf8(), expectedAgent);

    // Page script asks for its own document's URL, here the base URL.
    QSignalSpy finished(web, &QGraphicsWebView::loadFinished);
    web->setHtml(QStringLiteral("<p>agent</p>"), url);
    QTRY_VERIFY(!finished.isEmpty());
    QCOMPARE(page->mainFrame()->evaluateJavaScript(QStringLiteral("navigator.userAgent")).toString().toUtf8(),
             expectedAgent);
}

void TestMWebPage::consoleMessageFromPageScript()
{
    // Line 3 of this page holds the console call; the engine names the page as its source.
    QUrl url = service.url(QStringLiteral("status/200"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("type"), QStringLiteral("text/html"));
    query.addQueryItem(QStringLiteral("body"),
                       QStringLiteral("<html><body>\n<script>\nconsole.log([2, 'melodrift-console-marker'].join(' '));"
                                      "\n</script></body></html>"));
    url.setQuery(query);
    QVERIFY(load(url));

    const QList<MessageLog::Entry> found = messagesContaining(*messages, QStringLiteral("melodrift-console-marker"));
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().type, QtDebugMsg);
    const QString prefix = QStringLiteral("\"2 melodrift-console-marker on line:3 Source:");
    QVERIFY2(found.first().text.startsWith(prefix), qPrintable(found.first().text));
    QVERIFY2(found.first().text.endsWith(QLatin1Char('"')), qPrintable(found.first().text));
    const QString source = found.first().text.mid(prefix.size()).chopped(1);
    QCOMPARE(QUrl(source), page->mainFrame()->url());
}

void TestMWebPage::consoleMessageText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("written"); // as the message handler receives it

    QTest::newRow("plain") << QStringLiteral("chart ready") << 27
                           << QStringLiteral("http://127.0.0.1:8650/charts/v3.6w_pro/chart.js")
                           << QStringLiteral("\"chart ready on line:27 Source:"
                                             "http://127.0.0.1:8650/charts/v3.6w_pro/chart.js\"");
    QTest::newRow("line 0, empty source")
        << QStringLiteral("hello") << 0 << QString() << QStringLiteral("\"hello on line:0 Source:\"");
    QTest::newRow("empty message") << QString() << 5 << QStringLiteral("s.js")
                                   << QStringLiteral("\" on line:5 Source:s.js\"");
    QTest::newRow("negative line") << QStringLiteral("x") << -12 << QStringLiteral("y")
                                   << QStringLiteral("\"x on line:-12 Source:y\"");
    // qDebug() escapes a QString's quotes and backslashes when it quotes it.
    QTest::newRow("quote and backslash") << QStringLiteral("say \"hi\" \\o/") << 1 << QStringLiteral("z")
                                         << QStringLiteral("\"say \\\"hi\\\" \\\\o/ on line:1 Source:z\"");
}

void TestMWebPage::consoleMessageText()
{
    QFETCH(QString, message);
    QFETCH(int, line);
    QFETCH(QString, source);
    QFETCH(QString, written);

    page->javaScriptConsoleMessage(message, line, source);
    const QList<MessageLog::Entry> captured = messages->entries();
    QCOMPARE(captured.size(), 1);
    QCOMPARE(captured.first().type, QtDebugMsg);
    QCOMPARE(captured.first().text, written);
}

MELODRIFT_TEST_MAIN(TestMWebPage)
#include "test_mwebpage.moc"
