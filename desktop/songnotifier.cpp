#include "songnotifier.h"

#include "desktopintegration.h"
#include "desktopsettings.h"
#include "mediaplayer.h"
#include "mediatext.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QWidget>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");

QString firstOf(const QStringList &values)
{
    for (const QString &value : values) {
        if (!value.trimmed().isEmpty())
            return value;
    }
    return QString();
}

} // namespace

SongNotifier::SongNotifier(const QDBusConnection &bus, QWidget *window, QObject *parent)
    : QObject(parent)
    , bus(bus)
    , window(window)
{
    untitled.setSingleShot(true);
    untitled.setInterval(1500);
    connect(&untitled, &QTimer::timeout, this, &SongNotifier::notify);
}

void SongNotifier::setListeningPlayer(MediaPlayer *listening)
{
    if (player)
        player->disconnect(this);
    player = listening;
    connect(player, &MediaPlayer::sourceOpened, this, [this] {
        awaited = true;
        namedByFile = false;
        untitled.stop();
    });
    connect(player, &MediaPlayer::shownStateChanged, this, &SongNotifier::check);
    connect(player->media(), &Phonon::MediaObject::metaDataChanged, this, &SongNotifier::check);
}

// VLC names a song by its file when it has not read the tags.
bool SongNotifier::named() const
{
    const Phonon::MediaObject *media = player->media();
    const QString title = firstOf(media->metaData(Phonon::TitleMetaData));
    return (!title.isEmpty() && title != media->currentSource().url().fileName())
           || !firstOf(media->metaData(Phonon::ArtistMetaData)).isEmpty();
}

void SongNotifier::check()
{
    if (!player || player->state() != Phonon::PlayingState)
        return;
    // A song announced by its file name that the back end names later (a
    // chained stream's next part, say) is announced again, in place.
    if (!awaited && namedByFile && named())
        awaited = true;
    if (!awaited)
        return;
    if (named())
        notify();
    else if (!untitled.isActive())
        untitled.start();
}

void SongNotifier::notify()
{
    untitled.stop();
    if (!awaited || !player || player->state() != Phonon::PlayingState)
        return;
    awaited = false;
    if (!DesktopSettings::notificationsEnabled() || (window && window->isActiveWindow()))
        return;

    const Phonon::MediaObject *media = player->media();
    QString title = firstOf(media->metaData(Phonon::TitleMetaData));
    if (title.isEmpty())
        title = media->currentSource().url().fileName();
    title = MediaText::title(title);
    const QString artist = MediaText::title(firstOf(media->metaData(Phonon::ArtistMetaData)));
    namedByFile = !named();
    // Asked each time, as the daemon may have come up after Melodrift or
    // been replaced since: one that reads markup in the body would take an
    // artist such as "Lumen & Fox" for broken markup.
    const QDBusMessage ask = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("GetCapabilities"));
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(ask), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, title, artist](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> capabilities = *w;
        const bool markup = capabilities.isValid() && capabilities.value().contains(QStringLiteral("body-markup"));
        show(title, markup ? artist.toHtmlEscaped() : artist);
    });
}

void SongNotifier::show(const QString &summary, const QString &body)
{
    const QString entry = DesktopIntegration::desktopEntry();
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    call << QStringLiteral("Melodrift") << shownId << entry << summary << body << QStringList()
         << QVariantMap{{QStringLiteral("desktop-entry"), entry}} << -1;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<uint> id = *w;
        if (id.isValid())
            shownId = id.value();
        else
            qCDebug(lcDesktop) << "No notification shown:" << id.error().message();
    });
}
