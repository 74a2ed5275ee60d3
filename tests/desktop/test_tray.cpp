// The tray as the desktop's tray host sees it: python3-dbusmock stands in for
// org.kde.StatusNotifierWatcher on the suite's private bus, and the item and
// its menu (com.canonical.dbusmenu) are called over the bus as a host calls
// them. The real executable shows that the menu and a click steer its window
// and player and end it, and that closing the window ends it unless it is
// kept in the tray; the application in this process, that song titles show
// as text whatever they hold.

#include "applicationprocess.h"
#include "browserview.h"
#include "busstandin.h"
#include "chartservice.h"
#include "mediaplayer.h"
#include "pagescript.h"
#include "playbacksuite.h"
#include "testenvironment.h"
#include "testmedia.h"
#include "x11windows.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QSettings>
#include <QTextDocument>
#include <QtTest>

namespace {

const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString itemPath = QStringLiteral("/StatusNotifierItem");

struct MenuEntry
{
    int id = -1;
    bool enabled = false;
};

// A menu's entries by label, as the host gets them (mnemonics as "_").
void readLayout(const QDBusArgument &node, QMap<QString, MenuEntry> &entries)
{
    int id = -1;
    QVariantMap properties;
    node.beginStructure();
    node >> id >> properties;
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
        readLayout(child.variant().value<QDBusArgument>(), entries);
    }
    node.endArray();
    node.endStructure();
    if (properties.contains(QStringLiteral("label")))
        entries.insert(properties.value(QStringLiteral("label")).toString(),
                       {id, properties.value(QStringLiteral("enabled"), true).toBool()});
}

// What a markup-reading host shows of a tooltip.
QString rendered(const QString &markup)
{
    QTextDocument document;
    document.setHtml(markup);
    return document.toPlainText();
}

// The host's side, on a connection of its own: calls to the application in
// this process go over the bus too. The event loop runs while it waits.
class TrayHost
{
public:
    TrayHost()
        : bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("tray-host")))
    {
    }
    ~TrayHost() { QDBusConnection::disconnectFromBus(QStringLiteral("tray-host")); }

    // The latest item of process `pid` that the watcher lists.
    QString itemOf(qint64 pid)
    {
        const QDBusMessage reply = call(properties(
            QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
            QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("RegisteredStatusNotifierItems")));
        const QStringList items = reply.arguments().value(0).value<QDBusVariant>().variant().toStringList();
        const QStringList own = items.filter(QStringLiteral("-%1-").arg(pid));
        return own.isEmpty() ? QString() : own.last();
    }
    // The tooltip's title, as the item sends it.
    QString toolTip(const QString &item)
    {
        const QDBusMessage reply = call(properties(item, itemPath, itemInterface, QStringLiteral("ToolTip")));
        const QDBusArgument tip = reply.arguments().value(0).value<QDBusVariant>().variant().value<QDBusArgument>();
        QString iconName, title, description;
        tip.beginStructure();
        tip >> iconName;
        tip.beginArray();
        while (!tip.atEnd()) {
            int width, height;
            QByteArray pixels;
            tip.beginStructure();
            tip >> width >> height >> pixels;
            tip.endStructure();
        }
        tip.endArray();
        tip >> title >> description;
        tip.endStructure();
        return title;
    }
    QMap<QString, MenuEntry> menu(const QString &item)
    {
        QDBusMessage getLayout = QDBusMessage::createMethodCall(
            item, QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetLayout"));
        getLayout << 0 << -1 << QStringList();
        QMap<QString, MenuEntry> entries;
        const QDBusMessage reply = call(getLayout);
        if (reply.arguments().size() == 2)
            readLayout(reply.arguments().at(1).value<QDBusArgument>(), entries);
        return entries;
    }
    // Clicks the entry of that label; false when there is none, or it is disabled.
    bool click(const QString &item, const QString &label)
    {
        const MenuEntry entry = menu(item).value(label);
        if (!entry.enabled)
            return false;
        return call(clicked(item, entry.id)).type() == QDBusMessage::ReplyMessage;
    }
    QDBusMessage clicked(const QString &item, int id)
    {
        QDBusMessage event = QDBusMessage::createMethodCall(
            item, QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("Event"));
        event << id << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(0)) << 0u;
        return event;
    }
    // Activate (a click on the icon) or SecondaryActivate (a middle click).
    bool activate(const QString &item, const QString &method = QStringLiteral("Activate"))
    {
        QDBusMessage activate = QDBusMessage::createMethodCall(item, itemPath, itemInterface, method);
        activate << 0 << 0;
        return call(activate).type() == QDBusMessage::ReplyMessage;
    }

    QDBusConnection bus;

private:
    static QDBusMessage properties(const QString &service, const QString &path, const QString &interface,
                                   const QString &name)
    {
        QDBusMessage get = QDBusMessage::createMethodCall(
            service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << interface << name;
        return get;
    }
    QDBusMessage call(const QDBusMessage &message)
    {
        QDBusPendingCall pending = bus.asyncCall(message, 10000);
        // An unanswered call ends in an error reply of its own.
        (void)QTest::qWaitFor([&] { return pending.isFinished(); }, 15000);
        return pending.reply();
    }
};

QString playerctl(const QString &arguments)
{
    return ApplicationProcess::playerctl(arguments.split(QLatin1Char(' ')));
}

// Written where the program reads its settings: Qt names the file after the
// program, and it has set no organisation. Not kept is the default: no key.
void keepRunningInTray(bool keep)
{
    QSettings program(QSettings::IniFormat, QSettings::UserScope, QString(), QStringLiteral("melodrift"));
    if (keep)
        program.setValue(QStringLiteral("Desktop/keepRunningInTray"), true);
    else
        program.remove(QStringLiteral("Desktop/keepRunningInTray"));
}

} // namespace

class TrayTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void menuAndClickSteerTheProgram();
    void closingTheWindow_data();
    void closingTheWindow();
    void songTitlesShowAsText_data();
    void songTitlesShowAsText();

private:
    QString media(const QString &file) const { return service.url(QStringLiteral("media/") + file).toString(); }
    X11Windows::Window mainWindow(const ApplicationProcess &app) const
    {
        return X11Windows::titled(app.pid(), QStringLiteral("melodrift"));
    }

    ChartService service;
    BusStandIn watcher{BusStandIn::TrayWatcher};
    TrayHost host;
};

void TrayTest::initTestCase()
{
    qInfo() << "Phonon back end:" << qgetenv("PHONON_BACKEND");
    QVERIFY2(service.start(), "the stand-in chart service did not start");
    // Before this process's first tray icon: Qt asks for the watcher once.
    QVERIFY2(watcher.start(), "python3-dbusmock did not come up");
}

void TrayTest::menuAndClickSteerTheProgram()
{
    keepRunningInTray(false);
    ApplicationProcess app;
    QVERIFY2(app.start(service.startPage()) && app.waitForControls(), qPrintable(app.output()));
    QString item;
    QTRY_VERIFY_WITH_TIMEOUT(!(item = host.itemOf(app.pid())).isEmpty(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(mainWindow(app).mapped, 10000);
    QCOMPARE(rendered(host.toolTip(item)), QStringLiteral("Melodrift"));

    // A click on the icon hides the window and shows it again, and so does the menu.
    QVERIFY(host.activate(item));
    QTRY_VERIFY(!mainWindow(app).mapped);
    QVERIFY(host.menu(item).contains(QStringLiteral("_Show Melodrift")));
    QVERIFY(host.activate(item));
    QTRY_VERIFY(mainWindow(app).mapped);
    QVERIFY(host.click(item, QStringLiteral("_Hide Melodrift")));
    QTRY_VERIFY(!mainWindow(app).mapped);
    QVERIFY(host.click(item, QStringLiteral("_Show Melodrift")));
    QTRY_VERIFY(mainWindow(app).mapped);

    // Nothing to play yet; then the menu pauses and plays what the controls opened,
    // and the tooltip names it as the controls do (its artist is "Lumen & Fox").
    QVERIFY(!host.menu(item).value(QStringLiteral("_Play")).enabled);
    QCOMPARE(playerctl(QStringLiteral("open ") + media(QStringLiteral("paper-satellites.ogg"))), QString());
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Playing"), 20000);
    const QString named = playerctl(QStringLiteral("metadata --format {{title}}\n{{artist}}")).trimmed();
    QTRY_COMPARE(rendered(host.toolTip(item)), named);
    QVERIFY(host.click(item, QStringLiteral("_Pause")));
    QTRY_COMPARE(playerctl(QStringLiteral("status")), QStringLiteral("Paused"));
    QVERIFY(host.click(item, QStringLiteral("_Play")));
    QTRY_COMPARE(playerctl(QStringLiteral("status")), QStringLiteral("Playing"));
    QVERIFY(host.activate(item, QStringLiteral("SecondaryActivate")));
    QTRY_COMPARE(playerctl(QStringLiteral("status")), QStringLiteral("Paused"));

    // A burst of Next moves the page on once, to its item 1, as the media
    // controls' Next does.
    const int id = host.menu(item).value(QStringLiteral("_Next")).id;
    for (int i = 0; i < 200; ++i)
        QVERIFY(host.bus.send(host.clicked(item, id)));
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("metadata xesam:url")), media(QStringLiteral("ocean-bars.ogv")),
                              20000);
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Playing"), 5000);
    // Waited for, asserting that the page does not move on again.
    QTest::qWait(1500);
    QCOMPARE(app.output().count(QStringLiteral("Signal Received")), 1);

    QVERIFY(host.click(item, QStringLiteral("_Quit")));
    QCOMPARE(app.finish(15000), QString());
}

void TrayTest::closingTheWindow_data()
{
    QTest::addColumn<bool>("keep");
    QTest::newRow("ends the program, by default") << false;
    QTest::newRow("kept in the tray") << true;
}

// Closing the window (the window manager's close button) ends Melodrift, as
// it always has, unless it is to keep running in the tray: then the window
// hides there, a later start or the tray brings it back, and it ends only
// when told to.
void TrayTest::closingTheWindow()
{
    QFETCH(bool, keep);
    keepRunningInTray(keep);
    ApplicationProcess app;
    QVERIFY2(app.start(service.startPage()) && app.waitForControls(), qPrintable(app.output()));
    QString item;
    QTRY_VERIFY_WITH_TIMEOUT(!(item = host.itemOf(app.pid())).isEmpty(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(mainWindow(app).mapped, 10000);

    X11Windows::close(mainWindow(app).id);
    if (!keep) {
        QCOMPARE(app.finish(15000), QString());
        return;
    }
    QTRY_VERIFY(!mainWindow(app).mapped);
    QVERIFY(host.menu(item).contains(QStringLiteral("_Show Melodrift")));
    // Still playing meanwhile; and a video player that the page opens and
    // the user closes, the only window left, does not end it either. Next
    // moves the page on only once its script is there: under load the
    // window can be closed before that.
    QTRY_VERIFY_WITH_TIMEOUT(app.output().contains(QLatin1String("chart ready:")), 20000);
    QVERIFY(host.click(item, QStringLiteral("_Next")));
    const auto video = [&app] { return X11Windows::titled(app.pid(), QStringLiteral("ocean-bars.ogv")); };
    QTRY_VERIFY_WITH_TIMEOUT(video().mapped, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Playing"), 20000);
    X11Windows::close(video().id);
    QTRY_VERIFY(!video().mapped);
    // Waited for, asserting that it keeps running.
    QTest::qWait(1000);
    QVERIFY2(!host.itemOf(app.pid()).isEmpty()
                 && playerctl(QStringLiteral("status")) != QLatin1String("No players found"),
             qPrintable(app.output()));

    QProcess later;
    later.start(ApplicationProcess::program(), QStringList());
    QTRY_COMPARE_WITH_TIMEOUT(later.state(), QProcess::NotRunning, 20000);
    QCOMPARE(later.exitCode(), 0);
    QTRY_VERIFY(mainWindow(app).mapped);
    X11Windows::close(mainWindow(app).id);
    QTRY_VERIFY(!mainWindow(app).mapped);
    QVERIFY(host.click(item, QStringLiteral("_Show Melodrift")));
    QTRY_VERIFY(mainWindow(app).mapped);
    QVERIFY(host.click(item, QStringLiteral("_Quit")));
    QCOMPARE(app.finish(15000), QString());
}

void TrayTest::songTitlesShowAsText_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("artist");
    // VLC may name a song by its file instead of its tags: the files carry
    // such names too (no "/" in a file name).
    QTest::newRow("markup") << QStringLiteral("<b>Bold<b> & <img src=x>") << QStringLiteral("<i>Lumen & Fox");
    QTest::newRow("entities") << QStringLiteral("&lt;script&gt; &amp;") << QStringLiteral("Tom &quot;T&quot;");
    QTest::newRow("plain") << QStringLiteral("Copper Skies") << QString();
}

void TrayTest::songTitlesShowAsText()
{
    QFETCH(QString, title);
    QFETCH(QString, artist);
    const QString song =
        TestMedia::song(TestSupport::environment().root(), title + QStringLiteral(".ogg"), 20, title, artist);
    QVERIFY(!song.isEmpty());
    const QString before = host.itemOf(QCoreApplication::applicationPid());
    Handoff::App app;
    QVERIFY2(app.open(service.startPage(), QStringLiteral("window.chartReady === true")),
             "the main window did not show the start page");
    QString item;
    QTRY_VERIFY_WITH_TIMEOUT((item = host.itemOf(QCoreApplication::applicationPid())) != before, 10000);
    app.view()->listeningPlayer()->playFile(song);
    QTRY_COMPARE_WITH_TIMEOUT(app.firstPlayer()->state(), Phonon::PlayingState, 20000);
    const QStringList shown{title + (artist.isEmpty() ? QString() : QLatin1Char('\n') + artist), title,
                            title + QStringLiteral(".ogg")};
    QTRY_VERIFY2(shown.contains(rendered(host.toolTip(item))), qPrintable(host.toolTip(item)));
    QVERIFY2(!host.toolTip(item).contains(QStringLiteral("<img")), qPrintable(host.toolTip(item)));
    QVERIFY2(!host.toolTip(item).contains(QStringLiteral("<b>")), qPrintable(host.toolTip(item)));
}

MELODRIFT_PAGE_TEST_MAIN(TrayTest)
#include "test_tray.moc"
