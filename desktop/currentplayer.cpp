#include "currentplayer.h"

#include "desktopintegration.h"
#include "mediaplayer.h"
#include "mediatext.h"

#include <QUrl>

namespace {

// How long a move to the next item lasts: until a source started after it
// plays, but at least the shorter and at most the longer of these.
const int minimumMoveMs = 500;
const int movingOnMs = 5000;

bool hasSourceToPlay(MediaPlayer *player)
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

CurrentPlayer::CurrentPlayer(QObject *parent)
    : QObject(parent)
{
    movingOn.setSingleShot(true);
}

void CurrentPlayer::addPlayer(MediaPlayer *player, bool isListening)
{
    if (isListening)
        listening = player;
    // Until a source has started anywhere, the listening player is the one shown.
    if (!active || (isListening && !trackOf.contains(active)))
        active = player;
    if (!watched.contains(player))
        watch(player);
    // A player may be handed in only after its first source has opened.
    if (!trackOf.contains(player) && hasSourceToPlay(player))
        startedSource(player);
    emit changed();
}

void CurrentPlayer::watch(MediaPlayer *player)
{
    watched.append(player);
    connect(player, &MediaPlayer::sourceOpened, this, [this, player] { startedSource(player); });
    connect(player, &MediaPlayer::shownStateChanged, this, &CurrentPlayer::changed);
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
    connect(player->media(), &Phonon::MediaObject::metaDataChanged, this, &CurrentPlayer::changed);
    connect(player->media(), &Phonon::MediaObject::totalTimeChanged, this, &CurrentPlayer::changed);
    connect(player->media(), &Phonon::MediaObject::seekableChanged, this, &CurrentPlayer::changed);
    connect(player->media(), &Phonon::MediaObject::currentSourceChanged, this, &CurrentPlayer::changed);
    connect(player->output(), &Phonon::AudioOutput::volumeChanged, this, &CurrentPlayer::changed);
    connect(player->output(), &Phonon::AudioOutput::mutedChanged, this, &CurrentPlayer::changed);
    connect(player, &QObject::destroyed, this, &CurrentPlayer::dropped);
}

void CurrentPlayer::startedSource(MediaPlayer *player)
{
    trackOf.insert(player, ++tracksStarted);
    active = player;
    emit changed();
}

void CurrentPlayer::dropped(QObject *player)
{
    watched.removeAll(static_cast<MediaPlayer *>(player));
    trackOf.remove(static_cast<MediaPlayer *>(player));
    if (!active)
        active = listening;
    emit changed();
}

// The page host makes its listening player once its page has loaded; asked
// for sooner, the source makes it then and hands it in through addPlayer.
MediaPlayer *CurrentPlayer::listeningPlayer()
{
    if (!listening && listeningSource)
        listeningSource();
    return listening;
}

MediaPlayer *CurrentPlayer::player() const
{
    return active;
}

quint64 CurrentPlayer::track() const
{
    return active ? trackOf.value(active) : 0;
}

bool CurrentPlayer::hasSource() const
{
    return active && hasSourceToPlay(active);
}

Phonon::State CurrentPlayer::state() const
{
    return active ? active->state() : Phonon::StoppedState;
}

QString CurrentPlayer::title() const
{
    if (!hasSource())
        return QString();
    const QStringList titles = present(active->media()->metaData(Phonon::TitleMetaData));
    if (!titles.isEmpty())
        return titles.first();
    const Phonon::MediaSource source = active->media()->currentSource();
    QUrl url = source.url();
    if (url.isEmpty() && !source.fileName().isEmpty())
        url = QUrl::fromLocalFile(source.fileName());
    return MediaText::title(url.fileName());
}

QStringList CurrentPlayer::artists() const
{
    return hasSource() ? present(active->media()->metaData(Phonon::ArtistMetaData)) : QStringList();
}

QStringList CurrentPlayer::albums() const
{
    return hasSource() ? present(active->media()->metaData(Phonon::AlbumMetaData)) : QStringList();
}

bool CurrentPlayer::canGoNext() const
{
    return canGoNextCheck && canGoNextCheck();
}

void CurrentPlayer::play()
{
    if (active)
        active->play();
}

void CurrentPlayer::pause()
{
    if (active)
        active->pause();
}

void CurrentPlayer::playPause()
{
    if (active)
        active->playPause();
}

void CurrentPlayer::stop()
{
    if (active)
        active->stop();
}

void CurrentPlayer::next()
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
