#include "volumememory.h"

#include "desktopsettings.h"
#include "mediaplayer.h"

#include <QMouseEvent>
#include <QPointer>
#include <QTimer>

#include <phonon/VolumeSlider>

#include <cmath>

namespace {

// How long after the user's last touch of a volume control the back end's
// report of the change may come.
const qint64 touchWindowMs = 1000;
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
    clock.start();
}

void VolumeMemory::adopt(MediaPlayer *player)
{
    Intent &intent = intents[player];
    if (DesktopSettings::hasVolume()) {
        intent.known = true;
        intent.volume = DesktopSettings::volume();
        intent.muted = DesktopSettings::muted();
        apply(player);
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

void VolumeMemory::volumeReported(MediaPlayer *player, qreal volume)
{
    if (std::isnan(volume))
        return;
    Intent &intent = intents[player];
    if (touchedByUser(intent)) {
        choose(player, qBound(0.0, volume, 1.0), player->output()->isMuted());
    } else if (intent.known && qAbs(volume - intent.volume) > rounding) {
        correct(player);
    }
}

void VolumeMemory::mutedReported(MediaPlayer *player, bool muted)
{
    Intent &intent = intents[player];
    if (touchedByUser(intent)) {
        // The volume stays as chosen: the back end's rounded report of it is not a choice.
        choose(player, intent.known ? intent.volume : player->output()->volume(), muted);
    } else if (intent.known && muted != intent.muted) {
        correct(player);
    }
}

bool VolumeMemory::touchedByUser(const Intent &intent) const
{
    return intent.lastTouch >= 0 && clock.elapsed() - intent.lastTouch <= touchWindowMs;
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
    player->output()->setVolume(intent.volume);
    player->output()->setMuted(intent.muted);
}

bool VolumeMemory::eventFilter(QObject *watched, QEvent *event)
{
    if (isUserInput(event)) {
        if (MediaPlayer *player = playerOf(watched)) {
            if (intents.contains(player))
                intents[player].lastTouch = clock.elapsed();
        }
    }
    return QObject::eventFilter(watched, event);
}
