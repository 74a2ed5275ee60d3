// Melodrift as a native Wayland client under a headless Weston. The real
// executable shows its window with the chart page, its title bar while a
// page loads, and plays and quits through the desktop's media controls; the
// application as main() builds it plays a song through the page, a video
// full screen and back, and shows and answers the download prompt. What is
// on screen is read from the compositor's screenshots: a Wayland client
// cannot read back its own pixels, nor place or activate its windows.

#include "applicationprocess.h"
#include "chartservice.h"
#include "compositor.h"
#include "mainwindow.h"
#include "mediaplayer.h"
#include "messagelog.h"
#include "modalanswerer.h"
#include "pagescript.h"
#include "playbacksuite.h"
#include "testenvironment.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

using namespace Handoff;

namespace {

// Weston's panel along the top shows a clock; windows are placed below it.
const int panelHeight = 48;

QString text(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

QString text(const QSize &s)
{
    return QStringLiteral("%1x%2").arg(s.width()).arg(s.height());
}

// The chart page is black and near-black rows; the desktop's wallpaper and
// Qt's frame are light.
bool isDark(QRgb pixel)
{
    return qGray(pixel) < 48;
}

} // namespace

class WaylandTest : public QObject
{
    Q_OBJECT

public:
    explicit WaylandTest(Compositor *compositor)
        : compositor(compositor)
    {
    }

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    void theProgramShowsThePageAndAnswersTheDesktop();
    void theTitleBarShowsWhileAPageLoads();
    void aSongPlaysThroughThePage();
    void aVideoPlaysFullScreenAndComesBack();
    void theDownloadPromptIsShownAndAnswered_data();
    void theDownloadPromptIsShownAndAnswered();

private:
    QRect belowPanel() const { return desktop.rect().adjusted(0, panelHeight, 0, 0); }
    // Takes shots until one shows a window of the main window's size (with
    // the frame Qt draws around it) that matches; that window, or nothing.
    QRect waitForWindow(QImage *shot, const std::function<bool(const QImage &, const QRect &)> &matches);
    QString media(const QString &file) const { return service.url(QStringLiteral("media/") + file).toString(); }

    Compositor *compositor;
    ChartService service;
    App app;
    QImage desktop;
};

void WaylandTest::initTestCase()
{
    qInfo() << "Phonon back end:" << qgetenv("PHONON_BACKEND");
    QVERIFY2(QGuiApplication::platformName().startsWith(QLatin1String("wayland")),
             qPrintable(QGuiApplication::platformName()));
    QVERIFY2(service.start(), "the stand-in chart service did not start");
    desktop = compositor->screenshot();
    QVERIFY2(!desktop.isNull(), qPrintable(compositor->lastError()));
    QCOMPARE(desktop.size(), QSize(1280, 1024));
}

void WaylandTest::cleanup()
{
    app.close();
    QDir(TestSupport::environment().downloadDirectory()).removeRecursively();
}

void WaylandTest::cleanupTestCase()
{
    service.stop();
}

QRect WaylandTest::waitForWindow(QImage *shot, const std::function<bool(const QImage &, const QRect &)> &matches)
{
    QRect window;
    const bool seen = QTest::qWaitFor(
        [&] {
            *shot = compositor->screenshot();
            window = Compositor::changedArea(desktop, *shot, belowPanel());
            // Weston draws no frames; Qt draws its own title bar and border.
            return window.width() >= 640 && window.width() <= 660 && window.height() >= 480 && window.height() <= 520
                   && matches(*shot, window);
        },
        30000);
    if (!seen)
        qWarning() << "no window of the main window's size; the output changed at" << text(window);
    return seen ? window : QRect();
}

// The executable, on its own: the compositor shows its window with the
// chart page (black, with the chart's texts), and the desktop's controls
// play, raise and quit it.
void WaylandTest::theProgramShowsThePageAndAnswersTheDesktop()
{
    ApplicationProcess program;
    QVERIFY2(program.start(service.startPage()) && program.waitForControls(), qPrintable(program.output()));
    QImage shot;
    const QRect window = waitForWindow(&shot, [](const QImage &image, const QRect &area) {
        return Compositor::share(image, area, isDark) > 0.5
               && Compositor::share(image, area, [](QRgb p) { return qGray(p) > 160; }) > 0.01;
    });
    QVERIFY2(window.isValid(),
             qPrintable(QStringLiteral("no window with the chart page on the compositor's output; "
                                       "it shows %1 changed, the program said:\n%2")
                            .arg(text(Compositor::changedArea(desktop, shot, belowPanel())), program.output())));

    const QString song = media(QStringLiteral("copper-skies.ogg"));
    QCOMPARE(ApplicationProcess::playerctl({QStringLiteral("open"), song}), QString());
    QTRY_COMPARE_WITH_TIMEOUT(ApplicationProcess::playerctl({QStringLiteral("status")}), QStringLiteral("Playing"),
                              20000);
    QCOMPARE(ApplicationProcess::playerctl({QStringLiteral("metadata"), QStringLiteral("xesam:url")}), song);

    // Wayland lets no client raise or focus itself: Raise asks the
    // compositor for attention instead of failing with a warning.
    const QDBusMessage raise = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
        QStringLiteral("org.mpris.MediaPlayer2.melodrift"), QStringLiteral("/org/mpris/MediaPlayer2"),
        QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Raise")));
    QCOMPARE(raise.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(program.quit(), QString());
    QVERIFY2(!program.output().contains(QStringLiteral("does not support")), qPrintable(program.output()));
    QVERIFY2(!program.output().contains(QStringLiteral("xcb")), qPrintable(program.output()));
}

// While an image holds the page's load, the title bar stays across the top
// of the page in the highlight colour.
void WaylandTest::theTitleBarShowsWhileAPageLoads()
{
    ApplicationProcess program;
    QVERIFY2(program.start(service.page(QStringLiteral("<body style='background:#000'><img src='/slow?ms=60000'>"))),
             qPrintable(program.output()));
    const QRgb highlight = QApplication::palette().color(QPalette::Highlight).rgb();
    QRect bar;
    QImage shot;
    const QRect window = waitForWindow(&shot, [&](const QImage &image, const QRect &area) {
        bar = Compositor::bounds(image, area, [highlight](QRgb p) { return Compositor::near(p, highlight, 4); });
        return bar.isValid();
    });
    QVERIFY2(window.isValid(), qPrintable(program.output()));
    // Across the page, as tall as a line of text, under Qt's own frame.
    QVERIFY2(bar.width() >= 600 && bar.height() >= 8 && bar.height() <= 40, qPrintable(text(bar)));
    QVERIFY2(bar.bottom() < window.bottom() - 400, qPrintable(text(bar) + text(window)));
    QVERIFY(program.waitForControls());
    QCOMPARE(program.quit(), QString());
}

void WaylandTest::aSongPlaysThroughThePage()
{
    QVERIFY(app.open(service.startPage(), QStringLiteral("window.chartReady === true && typeof Player === 'object'")));
    const QString song = media(QStringLiteral("paper-satellites.ogg"));
    QVERIFY(app.click(QStringLiteral("#item2 button.listen")));
    QTRY_COMPARE_WITH_TIMEOUT(sourceOf(app.firstPlayer()), QUrl(song), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(app.firstPlayer()), QStringLiteral("playing"), 20000);
    QVERIFY(!app.firstPlayer()->isVisible());
    QImage shot;
    QVERIFY(waitForWindow(&shot, [](const QImage &image, const QRect &area) {
                return Compositor::share(image, area, isDark) > 0.5;
            }).isValid());
}

// The video's player fills the whole output, above the panel too; closed,
// as the user closes it through the compositor, it leaves the page shown again.
void WaylandTest::aVideoPlaysFullScreenAndComesBack()
{
    QVERIFY(app.open(service.startPage(), QStringLiteral("window.chartReady === true && typeof Player === 'object'")));
    QImage shot;
    const QRect window = waitForWindow(&shot, [](const QImage &, const QRect &) { return true; });
    QVERIFY(window.isValid());

    MessageLog log;
    QVERIFY(app.click(QStringLiteral("#item1 button.play-video")));
    QList<MediaPlayer *> made;
    QVERIFY(QTest::qWaitFor([&] { return !(made += app.takeNewPlayers()).isEmpty(); }, 15000));
    QCOMPARE(made.size(), 1);
    MediaPlayer *player = made.first();
    QTRY_VERIFY_WITH_TIMEOUT(isFullScreen(player), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(stateText(player), QStringLiteral("playing"), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(mediaObjectOf(player)->hasVideo(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(player->geometry(), player->screen()->geometry(), 5000);
    // Going full screen asks the compositor for nothing it refuses.
    QCOMPARE(log.warnings().filter(QStringLiteral("does not support")), QStringList());
    // The wallpaper is covered: below the panel hardly a pixel is left as
    // the empty desktop had it, up to the output's edges; and the video's
    // colour bars are drawn (VLC paints through Qt here, not a window of its
    // own). Whether the panel stays above a full-screen window is the
    // compositor's choice: Weston 10 puts the window over it, Weston 14 keeps
    // it on top while the window has no keyboard focus, and the headless
    // compositor has no keyboard to give.
    const auto shows = [](const QImage &image, QRgb colour) {
        return Compositor::share(image, image.rect(), [colour](QRgb p) { return Compositor::near(p, colour, 40); });
    };
    const auto leftOfDesktop = [this](const QImage &image) {
        int same = 0;
        for (int y = 0; y < image.height(); y += 8) {
            for (int x = 0; x < image.width(); x += 8)
                same += Compositor::near(image.pixel(x, y), desktop.pixel(x, y), 8) ? 1 : 0;
        }
        return double(same) / ((image.height() / 8) * (image.width() / 8));
    };
    const bool covered = QTest::qWaitFor(
        [&] {
            shot = compositor->screenshot();
            return Compositor::changedArea(desktop, shot, belowPanel()) == belowPanel() && leftOfDesktop(shot) < 0.1
                   && shows(shot, qRgb(255, 255, 0)) > 0.02 && shows(shot, qRgb(0, 255, 255)) > 0.02;
        },
        20000);
    QVERIFY2(covered, qPrintable(QStringLiteral("%1 of the desktop still shows, %2 yellow, %3 cyan")
                                     .arg(leftOfDesktop(shot))
                                     .arg(shows(shot, qRgb(255, 255, 0)))
                                     .arg(shows(shot, qRgb(0, 255, 255)))));

    player->close();
    QTRY_VERIFY_WITH_TIMEOUT(!player->isVisible(), 5000);
    QVERIFY(waitForWindow(&shot, [](const QImage &image, const QRect &area) {
                return Compositor::share(image, area, isDark) > 0.5;
            }).isValid());
}

void WaylandTest::theDownloadPromptIsShownAndAnswered_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("overwrite") << int(QMessageBox::Yes);
    QTest::newRow("keep") << int(QMessageBox::No);
}

// A file of that name is there already: the prompt shows on the output, in
// a window of its own, and its answer decides which bytes stay.
void WaylandTest::theDownloadPromptIsShownAndAnswered()
{
    QFETCH(int, answer);
    QVERIFY(app.open(service.startPage(), QStringLiteral("window.chartReady === true && typeof Player === 'object'")));
    app.js(QStringLiteral("ge('q').value = 'glass';"));
    QVERIFY(app.click(QStringLiteral("#go")));
    QTRY_COMPARE_WITH_TIMEOUT(app.js(QStringLiteral("received.ajax.length")).toInt(), 1, 10000);
    const QString file = app.js(QStringLiteral("JSON.parse(received.ajax[0])[0].file")).toString();
    QVERIFY(!file.isEmpty());
    const QByteArray served = service.fetch(QStringLiteral("files/") + file);
    QVERIFY(!served.isEmpty());
    const QByteArray old("the copy the user had");
    QDir().mkpath(TestSupport::environment().downloadDirectory());
    QFile existing(TestSupport::environment().downloadDirectory() + file);
    QVERIFY(existing.open(QIODevice::WriteOnly) && existing.write(old) == old.size());
    existing.close();

    QImage during;
    QSize boxSize;
    ModalAnswerer prompts;
    prompts.then<QMessageBox>([&](QMessageBox *box) {
        if (QTest::qWaitForWindowExposed(box)) {
            QTest::qWait(300);
            during = compositor->screenshot();
        }
        boxSize = box->frameGeometry().size();
        box->button(QMessageBox::StandardButton(answer))->click();
    });
    QImage before;
    QVERIFY(waitForWindow(&before, [](const QImage &, const QRect &) { return true; }).isValid());
    QVERIFY(app.click(QStringLiteral("#results .hit button.download")));
    QTRY_VERIFY_WITH_TIMEOUT(prompts.answeredAll(), 15000);
    QCOMPARE(prompts.seen.size(), 1);
    QVERIFY2(prompts.seen.first().endsWith(QStringLiteral(" Overwrite?")), qPrintable(prompts.seen.first()));
    QVERIFY2(!during.isNull(), qPrintable(compositor->lastError()));
    // Weston places the prompt itself, not always over the main window, so
    // it is told by its colour: the dark page gained about a prompt's worth
    // of the light dialog background.
    const QRgb dialog = QApplication::palette().color(QPalette::Window).rgb();
    const auto dialogPixels = [dialog](const QImage &image) {
        return Compositor::share(image, image.rect(), [dialog](QRgb p) { return Compositor::near(p, dialog, 4); })
               * image.width() * image.height();
    };
    const double gained = dialogPixels(during) - dialogPixels(before);
    QVERIFY2(
        gained > 0.5 * boxSize.width() * boxSize.height(),
        qPrintable(
            QStringLiteral("%1 pixels more of the dialog colour for a prompt of %2").arg(gained).arg(text(boxSize))));

    const QByteArray expected = answer == QMessageBox::Yes ? served : old;
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(existing).size(), qint64(expected.size()), 20000);
    QTest::qWait(500);
    QVERIFY(existing.open(QIODevice::ReadOnly));
    QCOMPARE(existing.readAll(), expected);
}
// The compositor comes first: Qt chooses its platform as the application
// object is made.
int main(int argc, char **argv)
{
    TestEnvironment env;
    TestSupport::setEnvironment(&env);
    Compositor compositor;
    const QString failure = compositor.start(env.root());
    if (!failure.isEmpty()) {
        qCritical("%s", qPrintable(failure));
        return 1;
    }
    EngineProbe::prepareProcess();
    PageView::prepareProcess();
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    WaylandTest tc(&compositor);
    QTEST_SET_MAIN_SOURCE_PATH
    const int result = QTest::qExec(&tc, argc, argv);
    if (result != 0)
        qInfo().noquote() << "weston's log:\n" << compositor.log();
    return result;
}

#include "test_wayland.moc"
