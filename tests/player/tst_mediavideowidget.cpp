#include "mediaplayerprobe.h"
#include "testenvironment.h"
#include "testmedia.h"

#include <QActionGroup>
#include <QMenu>
#include <QTemporaryDir>

// The video surface: full screen, pointer, keys, close requests, and the
// player's video adjustments and menu choices that act on it.
class MediaVideoWidgetTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fullScreenFromEveryEntrance();
    void escapeAndBackspaceLeaveFullScreen_data();
    void escapeAndBackspaceLeaveFullScreen();
    void escapeWhileWindowedStillAnnounces();
    void altReturnToggles();
    void stoppingLeavesFullScreen();
    void pointerHidesInFullScreen();
    void closeRequestsAreRefused();
    void spaceAndZeroTogglePlayback();
    void keysWithModifiersGoToTheBase_data();
    void keysWithModifiersGoToTheBase();
    void contextMenuPosition();
    void aspectAndScaleFromTheMenu();
    void colourSlotsCountEighths();

private:
    QTemporaryDir dir;
    QString clip;
    QString longSong;
    MediaPlayer *player = nullptr;
    Phonon::State seenState = Phonon::StoppedState;

    MediaPlayerProbe inspect() { return MediaPlayerProbe(*player); }
    MediaVideoWidget *video() { return inspect().videoWidget(); }
    bool waitForState(Phonon::State state)
    {
        return QTest::qWaitFor([&] { return seenState == state; }, 20000);
    }
    void playVideo();
    QAction *menuAction(const QString &menu, const QString &text);
};

void MediaVideoWidgetTest::initTestCase()
{
    QVERIFY(dir.isValid());
    clip = TestMedia::video(dir.path(), QStringLiteral("clip.ogv"), 900);
    longSong = TestMedia::song(dir.path(), QStringLiteral("long.ogg"), 30);
    QVERIFY(!clip.isEmpty() && !longSong.isEmpty());
}

void MediaVideoWidgetTest::init()
{
    player = new MediaPlayer;
    seenState = Phonon::StoppedState;
    connect(&inspect().mediaObject(), &Phonon::MediaObject::stateChanged, this, [this](Phonon::State state) {
        seenState = state;
        if (qEnvironmentVariableIsSet("MELODRIFT_TRACE_STATES"))
            qDebug() << "state" << state;
    });
    player->resize(400, 400);
    player->show();
    QVERIFY(QTest::qWaitForWindowExposed(player));
}

void MediaVideoWidgetTest::cleanup()
{
    delete player;
    player = nullptr;
}

// Under a virtual X server VLC may stay in the buffering state while its
// video plays; what these tests need is video on the screen.
void MediaVideoWidgetTest::playVideo()
{
    player->playFile(clip);
    QTRY_VERIFY_WITH_TIMEOUT(video()->isVisible() && inspect().mediaObject().hasVideo()
                                 && (seenState == Phonon::PlayingState || seenState == Phonon::BufferingState),
                             20000);
}

QAction *MediaVideoWidgetTest::menuAction(const QString &menu, const QString &text)
{
    for (QAction *entry : inspect().contextMenu()->actions()) {
        if (entry->text() != menu || !entry->menu())
            continue;
        for (QAction *action : entry->menu()->actions()) {
            if (action->text() == text)
                return action;
        }
    }
    return nullptr;
}

void MediaVideoWidgetTest::fullScreenFromEveryEntrance()
{
    playVideo();
    QSignalSpy changed(video(), &MediaVideoWidget::fullScreenChanged);
    QAction *action = inspect().fullScreenAction();
    QVERIFY(action->isEnabled());

    // The menu action.
    action->setChecked(true);
    QTRY_VERIFY(video()->isFullScreen());
    QVERIFY(action->isChecked());
    QVERIFY(!changed.isEmpty());
    for (const QList<QVariant> &args : changed)
        QCOMPARE(args.at(0).toBool(), true);

    // Asking again announces again, and nothing changes.
    const int before = changed.count();
    video()->setFullScreen(true);
    QCOMPARE(changed.count(), before + 1);
    QVERIFY(video()->isFullScreen());

    // A double click goes back and forth.
    QTest::mouseDClick(video(), Qt::LeftButton);
    QTRY_VERIFY(!video()->isFullScreen());
    QVERIFY(!action->isChecked());
    QCOMPARE(changed.last().at(0).toBool(), false);
    QTest::mouseDClick(video(), Qt::LeftButton);
    QTRY_VERIFY(video()->isFullScreen());
    QVERIFY(action->isChecked());

    action->setChecked(false);
    QTRY_VERIFY(!video()->isFullScreen());
    QCOMPARE(changed.last().at(0).toBool(), false);
}

void MediaVideoWidgetTest::escapeAndBackspaceLeaveFullScreen_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("escape") << int(Qt::Key_Escape);
    QTest::newRow("backspace") << int(Qt::Key_Backspace);
}

void MediaVideoWidgetTest::escapeAndBackspaceLeaveFullScreen()
{
    QFETCH(int, key);
    playVideo();
    video()->setFullScreen(true);
    QTRY_VERIFY(video()->isFullScreen());
    QTest::keyClick(video(), Qt::Key(key), Qt::ShiftModifier);
    QVERIFY(video()->isFullScreen());
    QTest::keyClick(video(), Qt::Key(key));
    QTRY_VERIFY(!video()->isFullScreen());
    QVERIFY(!inspect().fullScreenAction()->isChecked());
}

void MediaVideoWidgetTest::escapeWhileWindowedStillAnnounces()
{
    QSignalSpy changed(video(), &MediaVideoWidget::fullScreenChanged);
    QTest::keyClick(video(), Qt::Key_Escape);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().at(0).toBool(), false);
    QVERIFY(!video()->isFullScreen());
}

void MediaVideoWidgetTest::altReturnToggles()
{
    playVideo();
    player->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(player));
    QTest::keyClick(video(), Qt::Key_Return, Qt::AltModifier);
    QTRY_VERIFY(video()->isFullScreen());
    // Without a window manager nothing activates the new full-screen window.
    QApplication::setActiveWindow(video());
    QVERIFY(QTest::qWaitForWindowActive(video()));
    QTest::keyClick(video(), Qt::Key_Return, Qt::AltModifier);
    QTRY_VERIFY(!video()->isFullScreen());
}

void MediaVideoWidgetTest::stoppingLeavesFullScreen()
{
    playVideo();
    inspect().fullScreenAction()->setChecked(true);
    QTRY_VERIFY(video()->isFullScreen());
    player->stop();
    QVERIFY(waitForState(Phonon::StoppedState));
    QTRY_VERIFY(!video()->isFullScreen());
    QVERIFY(!inspect().fullScreenAction()->isChecked());
    // Late reports of the former full-screen window must not bring it back:
    // waited for, asserting that they do not.
    QTest::qWait(1000);
    QVERIFY(!video()->isFullScreen());
    QVERIFY(!video()->isWindow());
}

void MediaVideoWidgetTest::pointerHidesInFullScreen()
{
    playVideo();
    video()->setFullScreen(true);
    QTRY_VERIFY(video()->isFullScreen());
    QTRY_COMPARE_WITH_TIMEOUT(video()->cursor().shape(), Qt::BlankCursor, 3000);

    // A movement shows it, and it hides again a second later.
    QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(video(), &move);
    QCOMPARE(video()->cursor().shape(), Qt::ArrowCursor);
    // Waited for, asserting that it shows for the second.
    QTest::qWait(500);
    QCOMPARE(video()->cursor().shape(), Qt::ArrowCursor);
    QTRY_COMPARE_WITH_TIMEOUT(video()->cursor().shape(), Qt::BlankCursor, 3000);

    // Back in the window the pointer stays.
    video()->setFullScreen(false);
    QTRY_VERIFY(!video()->isFullScreen());
    QCOMPARE(video()->cursor().shape(), Qt::ArrowCursor);
    // Waited for, asserting that it does.
    QTest::qWait(1500);
    QCOMPARE(video()->cursor().shape(), Qt::ArrowCursor);
}

void MediaVideoWidgetTest::closeRequestsAreRefused()
{
    playVideo();
    QVERIFY(!video()->close());
    QVERIFY(video()->isVisible());
    video()->setFullScreen(true);
    QTRY_VERIFY(video()->isFullScreen());
    QVERIFY(!video()->close());
    QVERIFY(video()->isVisible());
    QVERIFY(video()->isFullScreen());
    video()->setFullScreen(false);
}

void MediaVideoWidgetTest::spaceAndZeroTogglePlayback()
{
    player->playFile(longSong);
    QVERIFY(waitForState(Phonon::PlayingState));
    QTest::keyClick(video(), Qt::Key_Space);
    QVERIFY(waitForState(Phonon::PausedState));
    QTest::keyClick(video(), Qt::Key_0);
    QVERIFY(waitForState(Phonon::PlayingState));
}

void MediaVideoWidgetTest::keysWithModifiersGoToTheBase_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifier");
    QTest::newRow("shift space") << int(Qt::Key_Space) << int(Qt::ShiftModifier);
    QTest::newRow("control space") << int(Qt::Key_Space) << int(Qt::ControlModifier);
    QTest::newRow("alt 0") << int(Qt::Key_0) << int(Qt::AltModifier);
    QTest::newRow("keypad 0") << int(Qt::Key_0) << int(Qt::KeypadModifier);
}

void MediaVideoWidgetTest::keysWithModifiersGoToTheBase()
{
    QFETCH(int, key);
    QFETCH(int, modifier);
    player->playFile(longSong);
    QVERIFY(waitForState(Phonon::PlayingState));
    QKeyEvent press(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifier), key == Qt::Key_Space ? " " : "0");
    QApplication::sendEvent(video(), &press);
    // Waited for, asserting that playback does not toggle.
    QTest::qWait(1000);
    QCOMPARE(seenState, Phonon::PlayingState);
}

void MediaVideoWidgetTest::contextMenuPosition()
{
    QMenu *menu = inspect().contextMenu();
    const QPoint point(20, 30);
    inspect().showContextMenu(point);
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(menu->pos(), player->mapToGlobal(point));
    menu->hide();

    playVideo();
    video()->setFullScreen(true);
    QTRY_VERIFY(video()->isFullScreen());
    // The video's own request arrives in its coordinates; full screen, they are the screen's.
    emit video()->customContextMenuRequested(point);
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(menu->pos(), point);
    menu->hide();
    video()->setFullScreen(false);
}

void MediaVideoWidgetTest::aspectAndScaleFromTheMenu()
{
    const struct
    {
        const char *text;
        Phonon::VideoWidget::AspectRatio ratio;
    } aspects[] = {
        {"16/9", Phonon::VideoWidget::AspectRatio16_9},
        {"Scale", Phonon::VideoWidget::AspectRatioWidget},
        {"4/3", Phonon::VideoWidget::AspectRatio4_3},
        {"Auto", Phonon::VideoWidget::AspectRatioAuto},
    };
    QVERIFY(menuAction("&Aspect ratio", "Auto")->isChecked());
    for (const auto &aspect : aspects) {
        QAction *action = menuAction("&Aspect ratio", aspect.text);
        QVERIFY(action);
        action->trigger();
        QCOMPARE(video()->aspectRatio(), aspect.ratio);
        QVERIFY(action->isChecked());
    }
    // Any text the player does not know means automatic.
    inspect().setAspect(Phonon::VideoWidget::AspectRatio4_3);
    QAction stray(QStringLiteral("Widescreen"), nullptr);
    player->aspectChanged(&stray);
    QCOMPARE(video()->aspectRatio(), Phonon::VideoWidget::AspectRatioAuto);

    QVERIFY(menuAction("&Scale mode", "Fit in view")->isChecked());
    menuAction("&Scale mode", "Scale and crop")->trigger();
    QCOMPARE(video()->scaleMode(), Phonon::VideoWidget::ScaleAndCrop);
    menuAction("&Scale mode", "Fit in view")->trigger();
    QCOMPARE(video()->scaleMode(), Phonon::VideoWidget::FitInView);
    inspect().setScale(1);
    QCOMPARE(video()->scaleMode(), Phonon::VideoWidget::ScaleAndCrop);
    inspect().setAspect(3);
    QCOMPARE(video()->aspectRatio(), Phonon::VideoWidget::AspectRatio16_9);
}

void MediaVideoWidgetTest::colourSlotsCountEighths()
{
    // VLC takes colour adjustments only once video plays.
    playVideo();
    const QList<QPair<int, qreal>> steps{{-8, -1.0}, {-1, -0.125}, {0, 0.0}, {3, 0.375}, {8, 1.0}};
    for (const auto &step : steps) {
        inspect().setBrightness(step.first);
        inspect().setContrast(step.first);
        inspect().setHue(step.first);
        inspect().setSaturation(step.first);
        QTRY_COMPARE(video()->brightness(), step.second);
        QCOMPARE(video()->contrast(), step.second);
        QCOMPARE(video()->hue(), step.second);
        QCOMPARE(video()->saturation(), step.second);
    }
}

MELODRIFT_TEST_MAIN(MediaVideoWidgetTest)
#include "tst_mediavideowidget.moc"
