// The volume and mute the user chose outlive the player and the run: set on
// a player's own controls or through the desktop's, they are what the next
// player and the next run start with, whatever the back end reports of its own.

#include "applicationprocess.h"
#include "browserview.h"
#include "chartservice.h"
#include "desktopsettings.h"
#include "mediaplayer.h"
#include "playbacksuite.h"
#include "testenvironment.h"
#include "testmedia.h"

#include <QSlider>
#include <QToolButton>
#include <QtTest>

#include <phonon/VolumeSlider>

namespace {
double volumeShown()
{
    return ApplicationProcess::playerctl({QStringLiteral("volume")}).toDouble();
}
} // namespace

class VolumeTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void playerControlsCarryOverNotTheInitialVolume();
    void volumeSetThroughTheDesktopSurvivesARestart();

private:
    ChartService service;
};

void VolumeTest::initTestCase()
{
    qInfo() << "Phonon back end:" << qgetenv("PHONON_BACKEND");
    QVERIFY2(service.start(), "the stand-in chart service did not start");
}

void VolumeTest::playerControlsCarryOverNotTheInitialVolume()
{
    const QString video = TestMedia::video(TestSupport::environment().root(), QStringLiteral("long.ogv"), 900);
    QVERIFY(!video.isEmpty());
    Handoff::App app;
    QVERIFY(app.open(service.startPage(), QStringLiteral("window.chartReady === true")));
    // The page may hand players network media only; the long video goes
    // in through the player itself.
    app.view()->showMedia(service.url(QStringLiteral("media/ocean-bars.ogv")));
    MediaPlayer *player = app.view()->currentPlayer();
    player->playFile(video);
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), Phonon::PlayingState, 20000);
    QTest::qWait(1000);
    QVERIFY2(!DesktopSettings::hasVolume(), "a volume the user never chose was kept");

    auto *control = player->findChild<Phonon::VolumeSlider *>();
    QTest::keyClick(control->findChild<QSlider *>(), Qt::Key_PageDown);
    QTRY_VERIFY_WITH_TIMEOUT(DesktopSettings::hasVolume(), 5000);
    const qreal chosen = DesktopSettings::volume();
    QTRY_VERIFY2_WITH_TIMEOUT(qAbs(chosen - player->output()->volume()) < 0.02, qPrintable(QString::number(chosen)), 3000);
    QTest::mouseClick(control->findChild<QToolButton *>(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(DesktopSettings::muted(), 5000);
    QTest::qWait(1000);
    QCOMPARE(DesktopSettings::volume(), chosen);

    // A new player starts muted at that volume, which unmuting brings back.
    app.view()->showMedia(service.url(QStringLiteral("media/ocean-bars.ogv")));
    MediaPlayer *next = app.view()->currentPlayer();
    next->playFile(video);
    QTRY_COMPARE_WITH_TIMEOUT(next->state(), Phonon::PlayingState, 20000);
    QTest::qWait(1000);
    QVERIFY(next->output()->isMuted());
    QTest::mouseClick(next->findChild<Phonon::VolumeSlider *>()->findChild<QToolButton *>(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!DesktopSettings::muted(), 5000);
    QTest::qWait(1000);
    QTest::qWait(2000);
    QVERIFY2(qAbs(next->output()->volume() - chosen) < 0.02, qPrintable(QString::number(next->output()->volume())));
    app.close();
}

void VolumeTest::volumeSetThroughTheDesktopSurvivesARestart()
{
    const QString song = service.url(QStringLiteral("media/copper-skies.ogg")).toString();
    for (int run = 0; run < 2; ++run) {
        ApplicationProcess app;
        QVERIFY2(app.start(service.startPage()), qPrintable(app.output()));
        if (run == 0)
            ApplicationProcess::playerctl({QStringLiteral("volume"), QStringLiteral("0.35")});
        else
            QVERIFY2(qAbs(volumeShown() - 0.35) < 0.02, qPrintable(QString::number(volumeShown())));
        // The back ends report volumes of their own as a source starts.
        ApplicationProcess::playerctl({QStringLiteral("open"), song});
        QTRY_COMPARE_WITH_TIMEOUT(ApplicationProcess::playerctl({QStringLiteral("status")}), QStringLiteral("Playing"), 20000);
        QTest::qWait(1500);
        QVERIFY2(qAbs(volumeShown() - 0.35) < 0.02, qPrintable(QString::number(volumeShown())));
        ApplicationProcess::playerctl({QStringLiteral("stop")});
        const QString quitting = app.quit();
        QVERIFY2(quitting.isEmpty(), qPrintable(quitting));
    }
}

MELODRIFT_TEST_MAIN(VolumeTest)
#include "test_volume.moc"
