#include "desktopsettings.h"
#include "mediaplayerprobe.h"
#include "modalanswerer.h"
#include "testenvironment.h"
#include "testmedia.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPointer>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>

#include <phonon/BackendCapabilities>
#include <phonon/Effect>
#include <phonon/EffectParameter>
#include <phonon/EffectWidget>

#include <algorithm>
#include <functional>

// The settings dialog and the effect configuration, on a player that plays
// video (VLC reads colour adjustments back only then). Effects are watched
// for being deleted exactly when nothing uses them any more; the AddressSanitizer
// build of this test catches any use or deletion after that.
class SettingsDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void videoControlsActAtOnceAndCancelRestores();
    void dialogIsBuiltOnceFromTheCurrentState();
    void crossFadeCountsHalfSeconds();
    void devicesListedWithDescriptions();
    void chosenEffectGoesIntoThePathOnOk();
    void noEffectRemovesAndDeletesIt();
    void replacedPendingEffectIsDeleted();
    void cancelRestoresTheEffectChoice();
    void configureEffectKeepsOrRestoresParameters();
    void playerWithAnEffectIsDestroyedCleanly();
    void onlyCompactModePausesVideoForTheDialog();

private:
    QTemporaryDir dir;
    QString clip;
    MediaPlayer *player = nullptr;
    QList<Phonon::EffectDescription> effects;
    bool pathTakesEffects = false;

    MediaPlayerProbe inspect() { return MediaPlayerProbe(*player); }
    QComboBox *effectCombo() { return inspect().setting<QComboBox>("audioEffectsCombo"); }
    // Opens the dialog; `change` runs while it is open, then OK or Cancel.
    void runDialog(const std::function<void()> &change, bool ok);
    int effectsAlive();
};

void SettingsDialogTest::initTestCase()
{
    QVERIFY(dir.isValid());
    clip = TestMedia::video(dir.path(), QStringLiteral("clip.ogv"), 1800);
    QVERIFY(!clip.isEmpty());
    effects = Phonon::BackendCapabilities::availableAudioEffects();
    if (!effects.isEmpty()) {
        // VLC's back end refuses effects in an audio path.
        Phonon::MediaObject media;
        Phonon::AudioOutput output;
        Phonon::Path path = Phonon::createPath(&media, &output);
        Phonon::Effect probe(effects.first());
        pathTakesEffects = path.insertEffect(&probe);
        path.removeEffect(&probe);
    }
}

void SettingsDialogTest::init()
{
    player = new MediaPlayer;
    player->resize(400, 400);
    player->show();
    QVERIFY(QTest::qWaitForWindowExposed(player));
    player->playFile(clip);
    QTRY_VERIFY_WITH_TIMEOUT(inspect().mediaObject().hasVideo(), 20000);
}

void SettingsDialogTest::cleanup()
{
    delete player;
    player = nullptr;
}

// Effects that have not been deleted; the player owns every one it made.
int SettingsDialogTest::effectsAlive()
{
    return player->findChildren<Phonon::Effect *>().size();
}

void SettingsDialogTest::runDialog(const std::function<void()> &change, bool ok)
{
    bool answered = false;
    ModalAnswerer answer;
    answer.then<QDialog>([&](QDialog *dialog) {
        answered = true;
        change();
        QDialogButtonBox *box = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        box->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    });
    inspect().showSettingsDialog();
    QVERIFY(answered);
}

void SettingsDialogTest::videoControlsActAtOnceAndCancelRestores()
{
    MediaVideoWidget *video = inspect().videoWidget();
    runDialog(
        [&] {
            QCOMPARE(inspect().settingsDialog()->windowTitle(), QStringLiteral("Settings"));
            inspect().setting<QSlider>("brightnessSlider")->setValue(5);
            inspect().setting<QSlider>("contrastSlider")->setValue(-3);
            inspect().setting<QComboBox>("aspectCombo")->setCurrentIndex(3);
            inspect().setting<QComboBox>("scalemodeCombo")->setCurrentIndex(1);
            // While the dialog is open the video already shows the change.
            QTRY_COMPARE(video->brightness(), 0.625);
            QCOMPARE(video->contrast(), -0.375);
            QCOMPARE(video->aspectRatio(), Phonon::VideoWidget::AspectRatio16_9);
            QCOMPARE(video->scaleMode(), Phonon::VideoWidget::ScaleAndCrop);
        },
        false);
    QCOMPARE(video->brightness(), 0.0);
    QCOMPARE(video->contrast(), 0.0);
    QCOMPARE(video->aspectRatio(), Phonon::VideoWidget::AspectRatioAuto);
    QCOMPARE(video->scaleMode(), Phonon::VideoWidget::FitInView);

    // The controls stay where the user left them.
    runDialog(
        [&] {
            QCOMPARE(inspect().setting<QSlider>("brightnessSlider")->value(), 5);
            QCOMPARE(inspect().setting<QComboBox>("aspectCombo")->currentIndex(), 3);
            inspect().setting<QSlider>("hueSlider")->setValue(8);
            inspect().setting<QSlider>("saturationSlider")->setValue(-8);
        },
        true);
    QCOMPARE(video->hue(), 1.0);
    QCOMPARE(video->saturation(), -1.0);
}

void SettingsDialogTest::dialogIsBuiltOnceFromTheCurrentState()
{
    MediaVideoWidget *video = inspect().videoWidget();
    QVERIFY(!inspect().settingsDialog());
    video->setBrightness(0.3);
    video->setAspectRatio(Phonon::VideoWidget::AspectRatio4_3);
    QTRY_VERIFY(qAbs(video->brightness() - 0.3) < 0.01);
    DesktopSettings::setNotificationsEnabled(false);
    DesktopSettings::setKeepRunningInTray(true);
    runDialog(
        [&] {
            QVERIFY(!inspect().setting<QCheckBox>("notifyCheckBox")->isChecked());
            inspect().setting<QCheckBox>("notifyCheckBox")->setChecked(true);
            QVERIFY(inspect().setting<QCheckBox>("trayCheckBox")->isChecked());
            inspect().setting<QCheckBox>("trayCheckBox")->setChecked(false);
            QCOMPARE(inspect().setting<QSlider>("brightnessSlider")->value(), 2);
            QCOMPARE(inspect().setting<QComboBox>("aspectCombo")->currentIndex(), 2);
            QCOMPARE(effectCombo()->itemText(0), QStringLiteral("<no effect>"));
            QCOMPARE(effectCombo()->count(), effects.size() + 1);
            QVERIFY(!inspect().setting<QToolButton>("effectButton")->isEnabled());
        },
        true);
    // Building wrote the quantised value back.
    QCOMPARE(video->brightness(), 0.25);
    QDialog *first = inspect().settingsDialog();
    QCOMPARE(first->parent(), player);

    video->setBrightness(-0.5);
    QVERIFY(DesktopSettings::notificationsEnabled());
    QVERIFY(!DesktopSettings::keepRunningInTray());
    runDialog(
        [&] {
            QCOMPARE(inspect().setting<QSlider>("brightnessSlider")->value(), 2);
            inspect().setting<QCheckBox>("notifyCheckBox")->setChecked(false);
            inspect().setting<QCheckBox>("trayCheckBox")->setChecked(true);
        },
        false);
    QCOMPARE(inspect().settingsDialog(), first);
    QVERIFY(DesktopSettings::notificationsEnabled());
    QVERIFY(!DesktopSettings::keepRunningInTray());
}

void SettingsDialogTest::crossFadeCountsHalfSeconds()
{
    Phonon::MediaObject &media = inspect().mediaObject();
    media.setTransitionTime(-1250);
    runDialog(
        [&] {
            QCOMPARE(inspect().setting<QSlider>("crossFadeSlider")->value(), -2);
            inspect().setting<QSlider>("crossFadeSlider")->setValue(3);
        },
        true);
    QCOMPARE(media.transitionTime(), 1500);
    runDialog([&] { inspect().setting<QSlider>("crossFadeSlider")->setValue(-20); }, true);
    QCOMPARE(media.transitionTime(), -10000);
    // Cancel leaves it.
    runDialog([&] { inspect().setting<QSlider>("crossFadeSlider")->setValue(7); }, false);
    QCOMPARE(media.transitionTime(), -10000);
}

void SettingsDialogTest::devicesListedWithDescriptions()
{
    const QList<Phonon::AudioOutputDevice> devices = Phonon::BackendCapabilities::availableAudioOutputDevices();
    runDialog(
        [&] {
            QComboBox *combo = inspect().setting<QComboBox>("deviceCombo");
            QCOMPARE(combo->count(), devices.size());
            for (int i = 0; i < devices.size(); ++i) {
                const QString description = devices.at(i).description();
                QCOMPARE(combo->itemText(i), description.isEmpty() ? devices.at(i).name()
                                                                   : devices.at(i).name() + " (" + description + ")");
            }
            if (!devices.isEmpty())
                QCOMPARE(devices.value(combo->currentIndex()), inspect().audioOutput().outputDevice());
            if (devices.size() > 1)
                combo->setCurrentIndex(devices.size() - 1);
        },
        true);
    if (devices.size() > 1)
        QCOMPARE(inspect().audioOutput().outputDevice(), devices.last());
}

void SettingsDialogTest::chosenEffectGoesIntoThePathOnOk()
{
    if (effects.isEmpty())
        QSKIP("this back end offers no audio effects");
    QPointer<Phonon::Effect> chosen;
    runDialog(
        [&] {
            effectCombo()->setCurrentIndex(1);
            chosen = inspect().pendingEffect();
            QVERIFY(chosen);
            QCOMPARE(chosen->description(), effects.first());
            QVERIFY(inspect().setting<QToolButton>("effectButton")->isEnabled());
            QVERIFY(inspect().audioOutputPath().effects().isEmpty());
        },
        true);
    if (!pathTakesEffects) {
        // Refused by the back end: the choice stays pending and alive.
        QVERIFY(inspect().audioOutputPath().effects().isEmpty());
        QVERIFY(chosen);
        QCOMPARE(inspect().pendingEffect(), chosen.data());
        QCOMPARE(effectsAlive(), 1);
        return;
    }
    QCOMPARE(inspect().audioOutputPath().effects(), QList<Phonon::Effect *>{chosen.data()});

    // OK with the same choice keeps that very effect.
    runDialog([] { }, true);
    QVERIFY(chosen);
    QCOMPARE(inspect().audioOutputPath().effects(), QList<Phonon::Effect *>{chosen.data()});
    QCOMPARE(inspect().pendingEffect(), chosen.data());
    QCOMPARE(effectsAlive(), 1);
}

void SettingsDialogTest::noEffectRemovesAndDeletesIt()
{
    if (!pathTakesEffects)
        QSKIP("this back end takes no audio effects into a path");
    runDialog([&] { effectCombo()->setCurrentIndex(1); }, true);
    QPointer<Phonon::Effect> inPath = inspect().audioOutputPath().effects().value(0);
    QVERIFY(inPath);
    runDialog(
        [&] {
            effectCombo()->setCurrentIndex(0);
            QVERIFY(!inspect().setting<QToolButton>("effectButton")->isEnabled());
        },
        true);
    QVERIFY(!inPath);
    QVERIFY(inspect().audioOutputPath().effects().isEmpty());
    QCOMPARE(inspect().pendingEffect(), nullptr);
    QCOMPARE(effectsAlive(), 0);
}

void SettingsDialogTest::replacedPendingEffectIsDeleted()
{
    if (effects.size() < 2)
        QSKIP("needs two audio effects");
    QPointer<Phonon::Effect> first;
    runDialog(
        [&] {
            effectCombo()->setCurrentIndex(1);
            first = inspect().pendingEffect();
            effectCombo()->setCurrentIndex(2);
            QVERIFY(!first);
        },
        true);
    QCOMPARE(inspect().audioOutputPath().effects().size(), 1);
    QCOMPARE(inspect().audioOutputPath().effects().first()->description(), effects.at(1));
    QCOMPARE(effectsAlive(), 1);

    // Choosing another effect and going back to the one in the path, then
    // OK: the path keeps its effect and no twin is left over.
    QPointer<Phonon::Effect> inPath = inspect().audioOutputPath().effects().first();
    runDialog(
        [&] {
            effectCombo()->setCurrentIndex(1);
            QVERIFY(inPath);
            effectCombo()->setCurrentIndex(2);
        },
        true);
    QVERIFY(inPath);
    QCOMPARE(inspect().audioOutputPath().effects(), QList<Phonon::Effect *>{inPath.data()});
    QCOMPARE(inspect().pendingEffect(), inPath.data());
    QCOMPARE(effectsAlive(), 1);
}

void SettingsDialogTest::cancelRestoresTheEffectChoice()
{
    if (effects.size() < 2)
        QSKIP("needs two audio effects");
    runDialog([&] { effectCombo()->setCurrentIndex(2); }, true);
    QPointer<Phonon::Effect> inPath = inspect().audioOutputPath().effects().value(0);
    runDialog([&] { effectCombo()->setCurrentIndex(1); }, false);
    QCOMPARE(effectCombo()->currentIndex(), 2);
    QVERIFY(inPath);
    QCOMPARE(inspect().audioOutputPath().effects(), QList<Phonon::Effect *>{inPath.data()});
    // Cancel made a fresh pending instance of the saved choice; a later OK
    // keeps the one in the path.
    runDialog([] { }, true);
    QVERIFY(inPath);
    QCOMPARE(inspect().audioOutputPath().effects(), QList<Phonon::Effect *>{inPath.data()});
    QCOMPARE(effectsAlive(), 1);
}

void SettingsDialogTest::configureEffectKeepsOrRestoresParameters()
{
    // An effect with at least one parameter that takes another value.
    int index = -1;
    Phonon::EffectParameter parameter;
    for (int k = 0; k < effects.size() && index < 0; ++k) {
        Phonon::Effect probe(effects.at(k));
        for (const Phonon::EffectParameter &p : probe.parameters()) {
            if (p.type() == QVariant::Double || p.type() == QVariant::Int) {
                index = k + 1;
                parameter = p;
                break;
            }
        }
    }
    if (index < 0)
        QSKIP("no audio effect with a numeric parameter");

    auto configure = [&](bool ok, QVariant *before) {
        bool seen = false;
        ModalAnswerer answer;
        answer.then<QDialog>([&](QDialog *dialog) {
            seen = true;
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Configure effect"));
            QVERIFY(dialog->findChild<Phonon::EffectWidget *>());
            const QLabel *label = dialog->findChild<QLabel *>();
            QVERIFY(label->text().startsWith("<b>Description:</b><br>" + effects.at(index - 1).description()));
            Phonon::Effect *effect = inspect().pendingEffect();
            *before = effect->parameterValue(parameter);
            const QVariant changed =
                parameter.type() == QVariant::Int
                    ? QVariant(before->toInt() == parameter.maximumValue().toInt() ? parameter.minimumValue().toInt()
                                                                                   : parameter.maximumValue().toInt())
                    : QVariant(before->toDouble() == parameter.maximumValue().toDouble()
                                   ? parameter.minimumValue().toDouble()
                                   : parameter.maximumValue().toDouble());
            effect->setParameterValue(parameter, changed);
            QVERIFY(effect->parameterValue(parameter) != *before);
            dialog->findChild<QDialogButtonBox *>()
                ->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)
                ->click();
        });
        inspect().setting<QToolButton>("effectButton")->click();
        // It opens on the next turn of the event loop.
        QTRY_VERIFY(seen);
    };

    runDialog(
        [&] {
            effectCombo()->setCurrentIndex(index);
            QVariant before;
            configure(false, &before);
            QCOMPARE(inspect().pendingEffect()->parameterValue(parameter), before);
            configure(true, &before);
            QVERIFY(inspect().pendingEffect()->parameterValue(parameter) != before);
        },
        true);
    QCOMPARE(inspect().audioOutputPath().effects(), QList<Phonon::Effect *>{inspect().pendingEffect()});
    // Each call built its own dialog and took it down again.
    const QWidgetList windows = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(windows.begin(), windows.end(),
                           [](QWidget *w) { return w->windowTitle() == "Configure effect"; }),
             0);
}

void SettingsDialogTest::playerWithAnEffectIsDestroyedCleanly()
{
    if (effects.size() < 2)
        QSKIP("needs two audio effects");
    // One effect in the path and a different one pending when the player goes.
    runDialog([&] { effectCombo()->setCurrentIndex(1); }, true);
    runDialog([&] { effectCombo()->setCurrentIndex(2); }, false);
    QCOMPARE(effectsAlive(), 2);
    QPointer<Phonon::Effect> inPath = inspect().audioOutputPath().effects().value(0);
    QPointer<Phonon::Effect> pending = inspect().pendingEffect();
    QVERIFY(inPath && pending && inPath != pending);
    delete player;
    player = nullptr;
    QVERIFY(!inPath && !pending);
}

void SettingsDialogTest::onlyCompactModePausesVideoForTheDialog()
{
    Phonon::MediaObject &media = inspect().mediaObject();
    auto settle = [&] { return QTest::qWaitFor([&] { return media.state() == Phonon::PlayingState; }, 20000); };
    if (!settle())
        QSKIP("the back end did not settle in the playing state under this X server");

    Phonon::State during = Phonon::ErrorState;
    runDialog([&] { during = media.state(); }, true);
    QCOMPARE(during, Phonon::PlayingState);

    player->setCompactMode(true);
    QVERIFY(settle());
    runDialog([&] { QTRY_COMPARE(media.state(), Phonon::PausedState); }, false);
    QTRY_COMPARE(media.state(), Phonon::PlayingState);
}

MELODRIFT_TEST_MAIN(SettingsDialogTest)
#include "tst_settingsdialog.moc"
