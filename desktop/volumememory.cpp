#include "volumememory.h"

#include "desktopsettings.h"
#include "mediaplayer.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QPointer>
#include <QTimer>

#include <phonon/VolumeSlider>

#include <cmath>

namespace {

// VLC reports a volume it was given rounded to its own steps (0.3 as 0.293).
const qreal rounding = 0.02;
const int maxCorrections = 5;
// Phonon's volume control counts in percent of full volume.
const qreal sliderScale = 100.0;

} // namespace

VolumeMemory::VolumeMemory(QObject *parent)
    : QObject(parent)
{
}

void VolumeMemory::adopt(MediaPlayer *player)
{
    Intent &intent = intents[player];
    intent.known = DesktopSettings::hasVolume();
    if (intent.known) {
        intent.volume = DesktopSettings::volume();
        intent.muted = DesktopSettings::muted();
        apply(player);
    } else {
        const qreal volume = player->output()->volume();
        intent.volume = std::isnan(volume) ? 1.0 : volume;
        intent.muted = player->output()->isMuted();
    }
    watchControl(player);
    connect(player->output(), &Phonon::AudioOutput::volumeChanged, this,
            [this, player](qreal volume) { volumeReported(player, volume); });
    connect(player->output(), &Phonon::AudioOutput::mutedChanged, this,
            [this, player](bool muted) { mutedReported(player, muted); });
    connect(player, &MediaPlayer::sourceOpened, this, [this, player] { intents[player].corrections = 0; });
    connect(player, &QObject::destroyed, this, [this, player] { intents.remove(player); });
}

// Only the user's hand triggers a slider action or clicks the mute button;
// the back end's own reports move the control without either.
void VolumeMemory::watchControl(MediaPlayer *player)
{
    auto *control = player->findChild<Phonon::VolumeSlider *>();
    if (!control)
        return;
    if (auto *slider = control->findChild<QAbstractSlider *>()) {
        // Heard before the control hands the new position to the output, so
        // the output's report of it is no departure to undo.
        connect(slider, &QAbstractSlider::actionTriggered, this, [this, player, slider] {
            // An action against the end of the scale moves nothing.
            if (slider->sliderPosition() != slider->value())
                choose(player, slider->sliderPosition() / sliderScale, player->output()->isMuted());
        });
    }
    // Heard after the control has muted or unmuted the output.
    if (auto *muteButton = control->findChild<QAbstractButton *>()) {
        connect(muteButton, &QAbstractButton::clicked, this,
                [this, player] { choose(player, intents.value(player).volume, player->output()->isMuted()); });
    }
}

void VolumeMemory::choose(MediaPlayer *player, qreal volume, bool muted)
{
    Intent &intent = intents[player];
    intent.known = true;
    intent.volume = qBound(0.0, volume, 1.0);
    intent.muted = muted;
    DesktopSettings::setVolume(intent.volume);
    DesktopSettings::setMuted(muted);
}

void VolumeMemory::volumeReported(MediaPlayer *player, qreal volume)
{
    Intent &intent = intents[player];
    if (player->output()->isMuted())
        return;
    if (!intent.known) {
        // Until the user chooses, the player's own volume is the one a mute keeps.
        if (!std::isnan(volume))
            intent.volume = volume;
    } else if (std::isnan(volume) || qAbs(volume - intent.volume) > rounding) {
        correct(player);
    }
}

void VolumeMemory::mutedReported(MediaPlayer *player, bool muted)
{
    const Intent &intent = intents[player];
    // VLC reports a muted output's volume as 0 and keeps that once unmuted.
    if (intent.known
        && (muted != intent.muted || (!muted && qAbs(player->output()->volume() - intent.volume) > rounding)))
        correct(player);
}

void VolumeMemory::correct(MediaPlayer *player)
{
    Intent &intent = intents[player];
    if (intent.corrections >= maxCorrections)
        return;
    ++intent.corrections;
    // Not from inside the back end's own report.
    QTimer::singleShot(0, this, [this, player = QPointer<MediaPlayer>(player)] {
        if (player)
            apply(player);
    });
}

void VolumeMemory::apply(MediaPlayer *player)
{
    const Intent intent = intents.value(player);
    player->output()->setMuted(intent.muted);
    player->output()->setVolume(intent.volume);
}
