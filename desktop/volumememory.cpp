#include "volumememory.h"

#include "desktopsettings.h"
#include "mediaplayer.h"

#include <QAbstractButton>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>

#include <phonon/VolumeSlider>

#include <cmath>

namespace {

// VLC reports a volume it was given rounded to its own steps (0.3 as 0.293).
const qreal rounding = 0.02;
const int maxCorrections = 5;

bool isUserInput(const QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove:
        // A pointer passing over the control changes nothing.
        return static_cast<const QMouseEvent *>(event)->buttons() != Qt::NoButton;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::Wheel:
    case QEvent::KeyPress:
        return true;
    default:
        return false;
    }
}

MediaPlayer *playerOf(QObject *object)
{
    for (; object; object = object->parent()) {
        if (auto *player = qobject_cast<MediaPlayer *>(object))
            return player;
    }
    return nullptr;
}

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
        intent.volume = player->output()->volume();
        intent.muted = player->output()->isMuted();
    }
    if (auto *control = player->findChild<Phonon::VolumeSlider *>()) {
        control->installEventFilter(this);
        for (QWidget *part : control->findChildren<QWidget *>())
            part->installEventFilter(this);
    }
    connect(player->output(), &Phonon::AudioOutput::volumeChanged, this,
            [this, player](qreal volume) { volumeReported(player, volume); });
    connect(player->output(), &Phonon::AudioOutput::mutedChanged, this,
            [this, player](bool muted) { mutedReported(player, muted); });
    connect(player, &MediaPlayer::sourceOpened, this, [this, player] { intents[player].corrections = 0; });
    connect(player, &QObject::destroyed, this, [this, player] { intents.remove(player); });
}

void VolumeMemory::choose(MediaPlayer *player, qreal volume, bool muted)
{
    Intent &intent = intents[player];
    intent.known = true;
    intent.volume = volume;
    intent.muted = muted;
    DesktopSettings::setVolume(volume);
    DesktopSettings::setMuted(muted);
}

void VolumeMemory::readChoice(MediaPlayer *player, bool volumeMoved)
{
    Intent &intent = intents[player];
    const bool muted = player->output()->isMuted();
    qreal volume = player->output()->volume();
    // A muted output's volume says nothing of the one chosen (VLC reports
    // 0 then, and keeps that for a while once unmuted).
    if (!volumeMoved || muted || std::isnan(volume))
        volume = intent.volume;
    if (qAbs(volume - intent.volume) > 0.001 || muted != intent.muted)
        choose(player, qBound(0.0, volume, 1.0), muted);
}

void VolumeMemory::volumeReported(MediaPlayer *player, qreal volume)
{
    const Intent &intent = intents[player];
    if (intent.known && !std::isnan(volume) && !player->output()->isMuted() && qAbs(volume - intent.volume) > rounding)
        correct(player);
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

bool VolumeMemory::eventFilter(QObject *watched, QEvent *event)
{
    if (isUserInput(event)) {
        // Read once the control has acted on the input; its mute button
        // moves no volume.
        const bool volumeMoved = !qobject_cast<QAbstractButton *>(watched);
        QTimer::singleShot(0, this, [this, volumeMoved, player = QPointer<MediaPlayer>(playerOf(watched))] {
            if (player && intents.contains(player))
                readChoice(player, volumeMoved);
        });
    }
    return QObject::eventFilter(watched, event);
}
