// Melodrift as assistive technology sees it: the real AT-SPI bus on the
// suite's private session bus, and a python3-pyatspi client (a screen
// reader's view) reading the real executable's tree, checking that every
// control it shows has a name, finding controls by role and name and working
// them: the player's buttons, its settings and effect dialogs (reached by the
// menu key), and the download prompts. What the client did is checked here
// through the program's effects: the media controls' status, the files.
//
// Qt finds the accessibility bus without a race only through the X root
// window's AT_SPI_BUS property, which the bus launcher sets as it starts:
// the launcher runs before the program, while this suite's own application
// holds the display (Xvfb would otherwise reset and drop the property).

#include "applicationprocess.h"
#include "chartservice.h"
#include "fixtureserver.h"
#include "pagescript.h"
#include "testenvironment.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QtTest>

namespace {

QString playerctl(const QString &arguments)
{
    return ApplicationProcess::playerctl(arguments.split(QLatin1Char(' ')));
}

// JavaScript string literals for the page's script.
QString quoted(const QString &text)
{
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

} // namespace

class AccessibilityTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void playerAndItsDialogs();
    void downloadPrompts_data();
    void downloadPrompts();

private:
    // Runs the client on the program's tree; what it printed.
    QString runClient(const ApplicationProcess &app, const QString &scenario, bool *ok);

    ChartService service;
    FixtureServer files;
    QTemporaryDir certificates;
    QProcess launcher;
};

void AccessibilityTest::initTestCase()
{
    qInfo() << "Phonon back end:" << qgetenv("PHONON_BACKEND");
    QVERIFY2(service.start(), "the stand-in chart service did not start");
    const QString dir = certificates.path() + QLatin1Char('/');
    QVERIFY(FixtureServer::makeCertificate(dir + "self.pem", dir + "self.key", QStringLiteral("127.0.0.1"),
                                           {QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1")}));
    QVERIFY(files.start({{dir + "self.pem", dir + "self.key"}}));
}

// The bus launcher of at-spi2-core, started on the suite's session bus. Its
// settings stay in memory (else it writes dconf under the home folder), and
// it sets the X property only where no Wayland display is named.
void AccessibilityTest::init()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    launcher.setProcessEnvironment(env);
    launcher.setProcessChannelMode(QProcess::ForwardedChannels);
    launcher.start(QStringLiteral("/usr/libexec/at-spi-bus-launcher"), {QStringLiteral("--launch-immediately")});
    // Asked whether the name is owned, not for the bus's address: a call to
    // the name would have the session bus start a second launcher.
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    QVERIFY2(
        bus && QTest::qWaitFor([&] { return bus->isServiceRegistered(QStringLiteral("org.a11y.Bus")).value(); }, 20000),
        "at-spi-bus-launcher did not come up");
}

// Terminated, the launcher takes its bus down with it; killed, it would
// leave that bus running past the session.
void AccessibilityTest::cleanup()
{
    launcher.terminate();
    QVERIFY(launcher.waitForFinished(10000));
}

QString AccessibilityTest::runClient(const ApplicationProcess &app, const QString &scenario, bool *ok)
{
    QProcess client;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // libatspi takes a named Wayland display, even an empty one, for a
    // GNOME session and crashes synthesising keys without one.
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    client.setProcessEnvironment(env);
    client.setProcessChannelMode(QProcess::MergedChannels);
    // Debian's module is found by Debian's interpreter only.
    client.start(QStringLiteral("/usr/bin/python3"),
                 {TestEnvironment::sourcePath(QStringLiteral("tests/desktop/atspi_client.py")),
                  QString::number(app.pid()), scenario});
    // The event loop runs meanwhile, as the program's answers may be ours to wait for.
    const bool finished = QTest::qWaitFor([&] { return client.state() == QProcess::NotRunning; }, 120000);
    if (!finished)
        client.kill();
    const QString said = QString::fromUtf8(client.readAll());
    *ok = finished && client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0;
    qInfo().noquote() << said;
    return said;
}

// The player a page opens: every control named, its play button pressed
// through the bus (the desktop's media controls hear the player play and
// pause), its settings reached by the menu key, an effect chosen there and
// its set-up dialog opened, each read for names, and both cancelled.
void AccessibilityTest::playerAndItsDialogs()
{
    const QString song = service.url(QStringLiteral("media/copper-skies.ogg")).toString();
    ApplicationProcess app;
    QVERIFY(app.start(service.page(QStringLiteral("<script>Player.showMedia(%1);</script>").arg(quoted(song)))));
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Playing"), 30000);
    // Paused, so that the song does not end while the client looks.
    QCOMPARE(playerctl(QStringLiteral("pause")), QString());
    QTRY_COMPARE_WITH_TIMEOUT(playerctl(QStringLiteral("status")), QStringLiteral("Paused"), 5000);

    bool ok = false;
    const QString said = runClient(app, QStringLiteral("player"), &ok);
    QVERIFY2(ok, qPrintable(said + app.output()));
    QVERIFY(said.contains(QStringLiteral("playing\n")) && said.contains(QStringLiteral("paused\n")));
    QCOMPARE(playerctl(QStringLiteral("status")), QStringLiteral("Paused"));
    // Cancelled: no effect went into the path (the player says so when one does).
    QVERIFY2(!app.output().contains(QStringLiteral("did not take the effect")), qPrintable(app.output()));
    QCOMPARE(app.quit(), QString());
}

void AccessibilityTest::downloadPrompts_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QStringList>("downloads"); // address, name: one download after the other
    QTest::addColumn<QStringList>("written");   // the files the downloads leave, of /bytes/1000 each
    QTest::newRow("overwrite and credentials")
        << QStringLiteral("prompts")
        << QStringList{files.http(QStringLiteral("/bytes/1000")).toString(), QStringLiteral("kept.bin"),
                       files.http(QStringLiteral("/auth/1000")).toString(), QStringLiteral("members.bin")}
        << QStringList{QStringLiteral("kept.bin"), QStringLiteral("members.bin")};
    QTest::newRow("certificate") << QStringLiteral("certificate")
                                 << QStringList{files.https(0, QStringLiteral("/bytes/1000")).toString(),
                                                QStringLiteral("forged.bin")}
                                 << QStringList();
}

// The download prompts a page brings about, answered through the bus: an
// existing file replaced, credentials typed into the login prompt, and a
// certificate refused, whose Ignore button says what it risks.
void AccessibilityTest::downloadPrompts()
{
    QFETCH(QString, scenario);
    QFETCH(QStringList, downloads);
    QFETCH(QStringList, written);
    const QString folder = TestSupport::environment().downloadDirectory();
    QDir(folder).removeRecursively();
    QVERIFY(QDir().mkpath(folder));
    QFile old(folder + QStringLiteral("kept.bin"));
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    old.close();

    QString script;
    for (int i = 0; i + 1 < downloads.size(); i += 2)
        script += QStringLiteral("Player.start_download(%1, %2);") // the name first
                      .arg(quoted(downloads.at(i + 1)), quoted(downloads.at(i)));
    ApplicationProcess app;
    QVERIFY(app.start(service.page(QStringLiteral("<script>%1</script>").arg(script))));
    bool ok = false;
    const QString said = runClient(app, scenario, &ok);
    QVERIFY2(ok, qPrintable(said + app.output()));
    for (const QString &name : written) {
        QString why;
        QTRY_VERIFY2_WITH_TIMEOUT(FixtureServer::fileHoldsPattern(folder + name, 1000, &why), qPrintable(why), 10000);
    }
    if (written.isEmpty()) {
        // Waited for, asserting that nothing arrives.
        QTest::qWait(1000);
        QVERIFY(!QFile::exists(folder + downloads.value(1)));
    }
    QCOMPARE(app.quit(), QString());
}

MELODRIFT_PAGE_TEST_MAIN(AccessibilityTest)
#include "test_accessibility.moc"
