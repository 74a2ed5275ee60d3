#include "playbacksuite.h"

#include "browserview.h"
#include "mainwindow.h"
#include "mediaplayer.h"
#include "pagescript.h"
#include "pageview.h"

#include <QApplication>
#include <QtTest>

#include <algorithm>

namespace Handoff {

App::App() = default;

App::~App()
{
    close();
}

bool App::open(const QUrl &startPage, const QString &readyScript)
{
    MainWindow::prepareApplication();
    qputenv("MELODRIFT_START_URL", startPage.toEncoded());

    for (MediaPlayer *player : allPlayers())
        before.append(player);
    mainWindow = std::make_unique<MainWindow>();
    mainWindow->setFixedSize(640, 480);
    mainWindow->setVisible(true);

    if (!QTest::qWaitForWindowExposed(mainWindow.get()))
        return false;
    // Clicks go to the window a user would have in front. On Wayland no
    // client may make itself active, and a headless compositor has no seat
    // to make any window active; the test's clicks reach the widgets all the same.
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        mainWindow->activateWindow();
        if (!QTest::qWaitForWindowActive(mainWindow.get()))
            return false;
    }
    if (!TestSupport::waitForPage([&] { return js(readyScript).toBool(); }, 30000))
        return false;
    // The view makes its hidden player by itself once the page has loaded,
    // and no other.
    QList<MediaPlayer *> made;
    (void)QTest::qWaitFor([&] { return !(made += takeNewPlayers()).isEmpty(); }, 30000);
    first = made.value(0);
    return made.size() == 1 && first == view()->listeningPlayer();
}

void App::close()
{
    mainWindow.reset();
    first = nullptr;
    // The program never deletes a player; the tests do, often right after a
    // start. Phonon's GStreamer back end still delivers messages for a source
    // it has just opened, and the process died now and then when the media
    // object was gone by then. Stopped and given time to settle, a player has
    // nothing left in flight. The window is gone, so no page hears the stop.
    for (const QPointer<MediaPlayer> &player : qAsConst(seen)) {
        if (player)
            player->stop();
    }
    // One that does not stop in time is deleted all the same. Nothing tells
    // when the GStreamer back end's last message for a source is in: the
    // sleep below stands for it.
    (void)QTest::qWaitFor(
        [this] {
            return std::all_of(seen.cbegin(), seen.cend(), [](const QPointer<MediaPlayer> &player) {
                return !player || player->state() == Phonon::StoppedState;
            });
        },
        5000);
    QTest::qWait(250);
    for (const QPointer<MediaPlayer> &player : qAsConst(seen))
        delete player.data();
    seen.clear();
    before.clear();
}

BrowserView *App::view() const
{
    return mainWindow ? mainWindow->browserView() : nullptr;
}

QVariant App::js(const QString &script) const
{
    return TestSupport::evaluate(view()->pageView(), script);
}

QList<MediaPlayer *> App::players() const
{
    QList<MediaPlayer *> alive;
    for (const QPointer<MediaPlayer> &player : seen) {
        if (player)
            alive.append(player);
    }
    return alive;
}

QList<MediaPlayer *> App::takeNewPlayers()
{
    QList<MediaPlayer *> made;
    for (MediaPlayer *player : allPlayers()) {
        if (!before.contains(player) && !seen.contains(player))
            made.append(player);
    }
    for (MediaPlayer *player : made)
        seen.append(player);
    return made;
}

bool App::click(const QString &selector)
{
    const QVariantList centre =
        js(QStringLiteral("(function () {"
                          "  var e = document.querySelector(%1);"
                          "  if (!e) return [];"
                          "  e.scrollIntoView(false);"
                          "  var r = e.getBoundingClientRect();"
                          "  return [Math.round(r.left + r.width / 2), Math.round(r.top + r.height / 2)];"
                          "})()")
               .arg(scriptQuoted(selector)))
            .toList();
    if (centre.size() != 2)
        return false;
    // The page fills the view from 0, 0; the mouse goes to whichever widget
    // of the engine's takes it there.
    const QPoint point(centre.at(0).toInt(), centre.at(1).toInt());
    QWidget *target = view()->childAt(point);
    if (!target)
        return false;
    const QPoint at = target->mapFrom(view(), point);
    QTest::mouseMove(target, at);
    QTest::mousePress(target, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(target, Qt::LeftButton, Qt::NoModifier, at);
    return true;
}

QString PlaybackSuite::media(const QString &file) const
{
    return service.url(QStringLiteral("media/") + file).toString();
}

void PlaybackSuite::initTestCase()
{
    qInfo() << "Phonon back end:" << qgetenv("PHONON_BACKEND");
    QVERIFY2(service.start(), "the stand-in chart service did not start");
    messages = std::make_unique<MessageLog>();
}

void PlaybackSuite::init()
{
    boxes = std::make_unique<ModalAnswerer>();
    desktop = std::make_unique<UrlCatcher>();
    QVERIFY2(app.open(startPage(), readyScript()), "the main window did not show the start page");
    messages->clear();
}

void PlaybackSuite::cleanup()
{
    const QString failures = pageFailures();
    app.close();
    const QStringList boxTexts = boxes->seen;
    boxes.reset();
    QVERIFY2(failures.isEmpty(), qPrintable(QStringLiteral("page calls failed: ") + failures));
    QVERIFY2(boxTexts.isEmpty(), qPrintable(QStringLiteral("playback failed: ") + boxTexts.join(QLatin1Char('\n'))));
    QVERIFY2(desktop->urls.isEmpty(), "something was handed to the desktop");
    desktop.reset();
}

void PlaybackSuite::cleanupTestCase()
{
    messages.reset();
    service.stop();
}

} // namespace Handoff
