// The volume and mute the user chose on a player's own controls are what the
// next player starts with, whatever the back end reports of its own (the
// volume chosen through the desktop's controls, kept for the next run, is
// in test_mpris).

#include "browserview.h"
#include "desktopsettings.h"
#include "mediaplayer.h"
#include "pagescript.h"
#include "playbacksuite.h"
#include "testenvironment.h"
#include "testmedia.h"

#include <QSettings>
#include <QSlider>
#include <QToolButton>
#include <QtTest>

#include <phonon/VolumeSlider>

class VolumeTest : public Handoff::PlaybackSuite
{
    Q_OBJECT

private slots:
    void playerControlsCarryOverNotTheInitialVolume();
    void unreadableRememberedVolumeIsFullVolume_data();
    void unreadableRememberedVolumeIsFullVolume();
};

void VolumeTest::playerControlsCarryOverNotTheInitialVolume()
{
    const QString video = TestMedia::video(TestSupport::environment().root(), QStringLiteral("long.ogv"), 900, true);
    QVERIFY(!video.isEmpty());
    app.view()->showMedia(media(QStringLiteral("ocean-bars.ogv")));
    MediaPlayer *player = app.view()->currentPlayer();
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), Phonon::PlayingState, 20000);
    // Waited for, asserting that the volumes the back end reports as the
    // video starts are not taken for the user's.
    QTest::qWait(1000);
    QVERIFY2(!DesktopSettings::hasVolume(), "a volume the user never chose was kept");

    // The user moves the volume as soon as a new source starts, while the
    // back end still reports the old source's volume or none at all. The
    // page may hand players network media only; the long video goes in
    // through the player itself.
    player->playFile(video);
    auto *slider = player->findChild<Phonon::VolumeSlider *>()->findChild<QSlider *>();
    QTest::keyClick(slider, slider->value() > slider->minimum() ? Qt::Key_PageDown : Qt::Key_PageUp);
    const qreal chosen = slider->value() / 100.0;
    QTRY_VERIFY_WITH_TIMEOUT(DesktopSettings::hasVolume(), 5000);
    QCOMPARE(DesktopSettings::volume(), chosen);
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), Phonon::PlayingState, 20000);
    // Waited for, asserting that the volume holds as the video starts (and
    // below, as it is muted and as the next player starts).
    QTest::qWait(1000);
    QVERIFY2(qAbs(player->output()->volume() - chosen) < 0.02, qPrintable(QString::number(player->output()->volume())));
    QTest::mouseClick(player->findChild<Phonon::VolumeSlider *>()->findChild<QToolButton *>(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(DesktopSettings::muted(), 5000);
    QTest::qWait(1000);
    QCOMPARE(DesktopSettings::volume(), chosen);

    // A new player starts muted at that volume, which unmuting brings back.
    app.view()->showMedia(media(QStringLiteral("ocean-bars.ogv")));
    MediaPlayer *next = app.view()->currentPlayer();
    next->playFile(video);
    QTRY_COMPARE_WITH_TIMEOUT(next->state(), Phonon::PlayingState, 20000);
    QTest::qWait(1000);
    QVERIFY(next->output()->isMuted());
    QTest::mouseClick(next->findChild<Phonon::VolumeSlider *>()->findChild<QToolButton *>(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!DesktopSettings::muted(), 5000);
    // Waited for, asserting that the volume unmuted holds, whatever the back
    // end reports meanwhile.
    QTest::qWait(3000);
    QVERIFY2(qAbs(next->output()->volume() - chosen) < 0.02, qPrintable(QString::number(next->output()->volume())));
}

// A settings file edited by hand or damaged: what cannot be read is the
// default, full volume and not muted, never silence; a number out of range
// is brought into it.
void VolumeTest::unreadableRememberedVolumeIsFullVolume_data()
{
    QTest::addColumn<QString>("volume");
    QTest::addColumn<QString>("muted");
    QTest::addColumn<double>("expected");
    QTest::newRow("not a number") << "nan"
                                  << "false" << 1.0;
    QTest::newRow("a word") << "loud"
                            << "false" << 1.0;
    QTest::newRow("above the range") << "7"
                                     << "false" << 1.0;
    QTest::newRow("a word for muted") << "0.5"
                                      << "loud" << 0.5;
}

void VolumeTest::unreadableRememberedVolumeIsFullVolume()
{
    QFETCH(QString, volume);
    QFETCH(QString, muted);
    QFETCH(double, expected);
    QSettings settings;
    settings.setValue(QStringLiteral("Desktop/volume"), volume);
    settings.setValue(QStringLiteral("Desktop/muted"), muted);
    app.view()->showMedia(media(QStringLiteral("ocean-bars.ogv")));
    MediaPlayer *player = app.view()->currentPlayer();
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), Phonon::PlayingState, 20000);
    QTest::qWait(1000);
    QVERIFY(!player->output()->isMuted());
    QVERIFY2(qAbs(player->output()->volume() - expected) < 0.02,
             qPrintable(QString::number(player->output()->volume())));
}

MELODRIFT_PAGE_TEST_MAIN(VolumeTest)
#include "test_volume.moc"
