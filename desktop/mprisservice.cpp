#include "mprisservice.h"

#include "desktopintegration.h"
#include "desktopsettings.h"
#include "mediaplayer.h"
#include "mediatext.h"
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
// How long a move to the next item lasts: until a source started after it
// plays, but at least the shorter and at most the longer of these.
const int minimumMoveMs = 500;
const int movingOnMs = 5000;

bool hasSource(MediaPlayer *player)
{
    const Phonon::MediaSource::Type type = player->media()->currentSource().type();
    return type != Phonon::MediaSource::Invalid && type != Phonon::MediaSource::Empty;
}

// Tags are the media's: any length.
QStringList present(const QStringList &values)
{
    QStringList kept;
    for (const QString &value : values) {
        if (!value.trimmed().isEmpty())
            kept.append(MediaText::title(value));
    }
    return kept;
}

} // namespace

MprisService::MprisService(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , bus(bus)
{
    announce.setSingleShot(true);
    announce.setInterval(0);
    connect(&announce, &QTimer::timeout, this, &MprisService::publishChanges);
    movingOn.setSingleShot(true);
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

void MprisService::addPlayer(MediaPlayer *player, bool isListening)
{
    if (isListening)
        listening = player;
    // Until a source has started anywhere, the listening player is the one shown.
    if (!active || (isListening && !trackOf.contains(active)))
        active = player;
    if (!watched.contains(player))
        watch(player);
    // A player may be announced only after its first source has opened.
    if (!trackOf.contains(player) && hasSource(player))
        startedSource(player);
    announce.start();
}

void MprisService::watch(MediaPlayer *player)
{
    watched.append(player);
    const auto changed = [this] { announce.start(); };
    connect(player, &MediaPlayer::sourceOpened, this, [this, player] { startedSource(player); });
    connect(player, &MediaPlayer::shownStateChanged, this, changed);
    connect(player, &MediaPlayer::shownStateChanged, this, [this, player](Phonon::State state) {
        if (movingOn.isActive() && state == Phonon::PlayingState && trackOf.value(player) > tracksBeforeNext) {
            // A source that plays at once still leaves a burst of calls in its wake.
            const qint64 left = minimumMoveMs - sinceNext.elapsed();
            if (left > 0)
                movingOn.start(int(left));
            else
                movingOn.stop();
        }
    });
    connect(player->media(), &Phonon::MediaObject::metaDataChanged, this, changed);
    connect(player->media(), &Phonon::MediaObject::totalTimeChanged, this, changed);
    connect(player->media(), &Phonon::MediaObject::seekableChanged, this, changed);
    connect(player->media(), &Phonon::MediaObject::currentSourceChanged, this, changed);
    connect(player->output(), &Phonon::AudioOutput::volumeChanged, this, changed);
    connect(player->output(), &Phonon::AudioOutput::mutedChanged, this, changed);
    connect(player, &QObject::destroyed, this, &MprisService::dropped);
}

void MprisService::startedSource(MediaPlayer *player)
{
    trackOf.insert(player, ++tracksStarted);
    active = player;
    announce.start();
}

void MprisService::dropped(QObject *player)
{
    watched.removeAll(static_cast<MediaPlayer *>(player));
    trackOf.remove(static_cast<MediaPlayer *>(player));
    if (!active)
        active = listening;
    announce.start();
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
    switch (active ? active->state() : Phonon::StoppedState) {
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
    const quint64 track = active ? trackOf.value(active) : 0;
    if (track == 0)
        return QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
    return QStringLiteral("/org/melodrift/Melodrift/track/%1").arg(track);
}

// The metadata with the track id as text, so that two can be compared.
QVariantMap MprisService::plainMetadata() const
{
    if (!active || !hasSource(active))
        return {};
    const Phonon::MediaObject *media = active->media();
    const Phonon::MediaSource source = media->currentSource();
    QUrl url = source.url();
    if (url.isEmpty() && !source.fileName().isEmpty())
        url = QUrl::fromLocalFile(source.fileName());

    QVariantMap map;
    map.insert(trackKey, trackId());
    const QStringList titles = present(media->metaData(Phonon::TitleMetaData));
    map.insert(QStringLiteral("xesam:title"), titles.isEmpty() ? MediaText::title(url.fileName()) : titles.first());
    const QStringList artists = present(media->metaData(Phonon::ArtistMetaData));
    if (!artists.isEmpty())
        map.insert(QStringLiteral("xesam:artist"), artists);
    const QStringList albums = present(media->metaData(Phonon::AlbumMetaData));
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
    if (!active)
        listeningPlayer();
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
    return active ? qlonglong(active->position()) * 1000 : 0;
}

bool MprisService::canGoNext() const
{
    return canGoNextCheck && canGoNextCheck();
}

bool MprisService::canPlay() const
{
    return active && hasSource(active);
}

bool MprisService::canSeek() const
{
    return active && active->media()->isSeekable();
}

void MprisService::play()
{
    if (active)
        active->play();
}

void MprisService::pause()
{
    if (active)
        active->pause();
}

void MprisService::playPause()
{
    if (active)
        active->playPause();
}

void MprisService::stop()
{
    if (active)
        active->stop();
}

void MprisService::next()
{
    if (!canGoNext())
        return;
    // Each Next would start the page's next item, and a burst of them
    // hundreds of sources at once: one move at a time.
    if (movingOn.isActive()) {
        qCDebug(lcDesktop) << "Next dropped: the page is still moving on to its next item";
        return;
    }
    tracksBeforeNext = tracksStarted;
    sinceNext.start();
    movingOn.start(movingOnMs);
    emit nextRequested();
}

void MprisService::seek(qlonglong offsetUs)
{
    if (!canSeek())
        return;
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
    const qint64 length = active->media()->totalTime();
    if (length > 0 && positionUs / 1000 > length)
        return;
    moveTo(positionUs / 1000);
}

void MprisService::moveTo(qint64 positionMs)
{
    active->seek(positionMs);
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
    const QUrl url(uri, QUrl::StrictMode);
    QString refusal;
    if (!UrlRules::isWeb(url) || !UrlRules::isNetworkMedia(uri))
        refusal = QStringLiteral("Melodrift opens only http and https locations, not %1").arg(uri);
    else if (!listeningPlayer())
        refusal = QStringLiteral("Melodrift has no player yet");
    if (!refusal.isEmpty()) {
        message.setDelayedReply(true);
        bus.send(message.createErrorReply(QDBusError::InvalidArgs, refusal));
        return;
    }
    listening->playLocation(QString::fromUtf8(url.toEncoded()));
}

// The page host makes its listening player once its page has loaded; asked
// for sooner, the source makes it then and hands it in through addPlayer.
MediaPlayer *MprisService::listeningPlayer()
{
    if (!listening && listeningSource)
        listeningSource();
    return listening;
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
