#include "mprisservice.h"

#include "currentplayer.h"
#include "desktopsettings.h"
#include "mediaplayer.h"
#include "mprisplayeradaptor.h"
#include "mprisrootadaptor.h"
#include "urlrules.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDebug>
#include <QUrl>

#include <phonon/BackendCapabilities>

#include <cmath>

namespace {

const QString objectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString trackKey = QStringLiteral("mpris:trackid");

} // namespace

MprisService::MprisService(const QDBusConnection &bus, CurrentPlayer *current, QObject *parent)
    : QObject(parent)
    , bus(bus)
    , current(current)
{
    announce.setSingleShot(true);
    announce.setInterval(0);
    connect(&announce, &QTimer::timeout, this, &MprisService::publishChanges);
    connect(current, &CurrentPlayer::changed, this, &MprisService::announceChanges);
}

MprisService::~MprisService()
{
    if (ownName.isEmpty())
        return;
    bus.unregisterService(ownName);
    bus.unregisterObject(objectPath);
}

bool MprisService::publish()
{
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
    if (!bus.registerObject(objectPath, this))
        return false;
    // A second Melodrift takes the instance name the media-player
    // convention gives for that case.
    const QString name = QStringLiteral("org.mpris.MediaPlayer2.melodrift");
    const QString instance = name + QStringLiteral(".instance") + QString::number(QCoreApplication::applicationPid());
    for (const QString &candidate : {name, instance}) {
        if (bus.registerService(candidate)) {
            ownName = candidate;
            announced = playerProperties();
            return true;
        }
    }
    bus.unregisterObject(objectPath);
    return false;
}

QStringList MprisService::supportedMimeTypes() const
{
    QStringList types;
    for (const QString &type : Phonon::BackendCapabilities::availableMimeTypes()) {
        if (type.startsWith(QLatin1String("audio/")) || type.startsWith(QLatin1String("video/")))
            types.append(type);
    }
    return types;
}

QString MprisService::playbackStatus() const
{
    switch (current->state()) {
    case Phonon::PlayingState:
    case Phonon::BufferingState:
        return QStringLiteral("Playing");
    case Phonon::PausedState:
        return QStringLiteral("Paused");
    default:
        return QStringLiteral("Stopped");
    }
}

QString MprisService::trackId() const
{
    const quint64 track = current->track();
    if (track == 0)
        return QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
    return QStringLiteral("/org/melodrift/Melodrift/track/%1").arg(track);
}

// The metadata with the track id as text, so that two can be compared.
QVariantMap MprisService::plainMetadata() const
{
    if (!current->hasSource())
        return {};
    const Phonon::MediaObject *media = current->player()->media();
    const Phonon::MediaSource source = media->currentSource();
    QUrl url = source.url();
    if (url.isEmpty() && !source.fileName().isEmpty())
        url = QUrl::fromLocalFile(source.fileName());

    QVariantMap map;
    map.insert(trackKey, trackId());
    map.insert(QStringLiteral("xesam:title"), current->title());
    const QStringList artists = current->artists();
    if (!artists.isEmpty())
        map.insert(QStringLiteral("xesam:artist"), artists);
    const QStringList albums = current->albums();
    if (!albums.isEmpty())
        map.insert(QStringLiteral("xesam:album"), albums.first());
    if (media->totalTime() > 0)
        map.insert(QStringLiteral("mpris:length"), qlonglong(media->totalTime()) * 1000);
    // Every client on the bus reads it: no user name or password.
    if (url.isValid())
        map.insert(QStringLiteral("xesam:url"), QString::fromUtf8(url.toEncoded(QUrl::RemoveUserInfo)));
    return map;
}

QVariantMap MprisService::metadata() const
{
    QVariantMap map = plainMetadata();
    if (map.contains(trackKey))
        map.insert(trackKey, QVariant::fromValue(QDBusObjectPath(map.value(trackKey).toString())));
    return map;
}

double MprisService::volume() const
{
    MediaPlayer *active = current->player();
    // Before the page host has made its first player: the volume that one
    // will start with.
    if (!active)
        return DesktopSettings::hasVolume() ? (DesktopSettings::muted() ? 0.0 : DesktopSettings::volume()) : 1.0;
    if (active->output()->isMuted())
        return 0.0;
    const double volume = active->output()->volume();
    // The VLC back end reports "not a number" before its first source.
    return std::isnan(volume) ? 0.0 : volume;
}

void MprisService::setVolume(double volume)
{
    // A volume chosen before the page has loaded is kept all the same.
    if (!current->player())
        current->listeningPlayer();
    MediaPlayer *active = current->player();
    if (!active || std::isnan(volume))
        return;
    volume = qBound(0.0, volume, 1.0);
    Phonon::AudioOutput *output = active->output();
    // Asking for sound is asking to hear it.
    if (volume > 0.0)
        output->setMuted(false);
    output->setVolume(volume);
    emit volumeChosen(active, volume, output->isMuted());
}

qlonglong MprisService::position() const
{
    MediaPlayer *active = current->player();
    return active ? qlonglong(active->position()) * 1000 : 0;
}

bool MprisService::canGoNext() const
{
    return current->canGoNext();
}

bool MprisService::canPlay() const
{
    return current->hasSource();
}

bool MprisService::canSeek() const
{
    MediaPlayer *active = current->player();
    return active && active->media()->isSeekable();
}

void MprisService::play()
{
    current->play();
}

void MprisService::pause()
{
    current->pause();
}

void MprisService::playPause()
{
    current->playPause();
}

void MprisService::stop()
{
    current->stop();
}

void MprisService::next()
{
    current->next();
}

void MprisService::seek(qlonglong offsetUs)
{
    if (!canSeek())
        return;
    MediaPlayer *active = current->player();
    const qint64 target = qMax<qint64>(0, active->position() + offsetUs / 1000);
    const qint64 length = active->media()->totalTime();
    // Past the end is where the next item starts.
    if (length > 0 && target > length)
        next();
    else
        moveTo(target);
}

void MprisService::setPosition(const QDBusObjectPath &track, qlonglong positionUs)
{
    // A request about a track that has since been replaced is stale.
    if (!canSeek() || track.path() != trackId() || positionUs < 0)
        return;
    const qint64 length = current->player()->media()->totalTime();
    if (length > 0 && positionUs / 1000 > length)
        return;
    moveTo(positionUs / 1000);
}

void MprisService::moveTo(qint64 positionMs)
{
    current->player()->seek(positionMs);
    emit seeked(qlonglong(positionMs) * 1000);
}

void MprisService::openUri(const QString &uri, const QDBusMessage &message)
{
    // Not even parsed: any client on the bus may send one of many megabytes.
    if (uri.size() > UrlRules::maxLocationLength) {
        qDebug() << "OpenUri refused, the address is longer than 64 KiB:" << uri.size() << "characters";
        message.setDelayedReply(true);
        bus.send(message.createErrorReply(
            QDBusError::InvalidArgs,
            QStringLiteral("Melodrift opens only locations of up to 64 KiB, not one of %1 characters")
                .arg(uri.size())));
        return;
    }
    QString refusal;
    MediaPlayer *listening = nullptr;
    if (!UrlRules::isWebMedia(uri))
        refusal = QStringLiteral("Melodrift opens only http and https locations, not %1").arg(uri);
    else if (!(listening = current->listeningPlayer()))
        refusal = QStringLiteral("Melodrift has no player yet");
    if (!refusal.isEmpty()) {
        message.setDelayedReply(true);
        bus.send(message.createErrorReply(QDBusError::InvalidArgs, refusal));
        return;
    }
    listening->playLocation(QString::fromUtf8(QUrl(uri, QUrl::StrictMode).toEncoded()));
}

QVariantMap MprisService::playerProperties() const
{
    return {{QStringLiteral("PlaybackStatus"), playbackStatus()},
            {QStringLiteral("Metadata"), plainMetadata()},
            {QStringLiteral("Volume"), volume()},
            {QStringLiteral("CanGoNext"), canGoNext()},
            {QStringLiteral("CanPlay"), canPlay()},
            {QStringLiteral("CanPause"), canPlay()},
            {QStringLiteral("CanSeek"), canSeek()}};
}

void MprisService::publishChanges()
{
    const QVariantMap now = playerProperties();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (announced.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    announced = now;
    if (changed.isEmpty() || ownName.isEmpty())
        return;
    if (changed.contains(QStringLiteral("Metadata")))
        changed.insert(QStringLiteral("Metadata"), metadata());
    QDBusMessage signal = QDBusMessage::createSignal(objectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << playerInterface << changed << QStringList();
    bus.send(signal);
}
