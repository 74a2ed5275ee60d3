#include "screensaverinhibitor.h"

#include "desktopintegration.h"
#include "mediaplayer.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEvent>

namespace {

const QString screenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
const QString screenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString portal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString reason = QStringLiteral("Playing a video");
// The portal's flag for "the session must not go idle".
const uint inhibitIdle = 8;

} // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , bus(bus)
{
}

ScreenSaverInhibitor::~ScreenSaverInhibitor()
{
    for (Hold &hold : holds) {
        if (hold.stage == Hold::Asking) {
            hold.answer.waitForFinished();
            hold = held(hold.viaPortal, hold.answer);
        }
        if (hold.stage == Hold::Held)
            giveBack(hold, true);
    }
}

void ScreenSaverInhibitor::watch(MediaPlayer *player)
{
    if (holds.contains(player))
        return;
    holds.insert(player, Hold());
    connect(player, &MediaPlayer::shownStateChanged, this, [this, player] { update(player); });
    connect(player->media(), &Phonon::MediaObject::hasVideoChanged, this, [this, player] { update(player); });
    connect(player, &QObject::destroyed, this, [this, player] { dropped(player); });
    player->installEventFilter(this);
    update(player);
}

bool ScreenSaverInhibitor::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show || event->type() == QEvent::Hide) {
        auto *player = static_cast<MediaPlayer *>(watched);
        if (holds.contains(player))
            update(player);
    }
    return QObject::eventFilter(watched, event);
}

// A video that buffers while it plays keeps its hold; buffering alone takes none.
bool ScreenSaverInhibitor::wants(MediaPlayer *player, const Hold &hold) const
{
    const Phonon::State state = player->state();
    return player->isVisible() && player->media()->hasVideo()
           && (state == Phonon::PlayingState || (state == Phonon::BufferingState && hold.stage != Hold::Free));
}

void ScreenSaverInhibitor::update(MediaPlayer *player)
{
    Hold &hold = holds[player];
    const bool wanted = wants(player, hold);
    if (wanted && hold.stage == Hold::Free) {
        ask(player, false);
    } else if (!wanted && hold.stage == Hold::Held) {
        giveBack(hold, false);
        hold = Hold();
    }
    // While asking, the answer decides: it is given back at once if the
    // video stopped meanwhile.
}

void ScreenSaverInhibitor::ask(MediaPlayer *player, bool viaPortal)
{
    QDBusMessage call;
    if (viaPortal) {
        call =
            QDBusMessage::createMethodCall(portal, QStringLiteral("/org/freedesktop/portal/desktop"),
                                           QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
        call << QString() << inhibitIdle << QVariantMap{{QStringLiteral("reason"), reason}};
    } else {
        call = QDBusMessage::createMethodCall(screenSaver, screenSaverPath, screenSaver, QStringLiteral("Inhibit"));
        call << QStringLiteral("Melodrift") << reason;
    }
    Hold &hold = holds[player];
    hold.stage = Hold::Asking;
    hold.viaPortal = viaPortal;
    hold.answer = bus.asyncCall(call);
    auto *watcher = new QDBusPendingCallWatcher(hold.answer, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, player, viaPortal](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        answered(player, viaPortal, *w);
    });
}

ScreenSaverInhibitor::Hold ScreenSaverInhibitor::held(bool viaPortal, const QDBusPendingCall &answer)
{
    Hold hold;
    hold.viaPortal = viaPortal;
    if (answer.isError())
        return hold;
    hold.stage = Hold::Held;
    if (viaPortal)
        hold.request = QDBusPendingReply<QDBusObjectPath>(answer).value();
    else
        hold.cookie = QDBusPendingReply<uint>(answer).value();
    return hold;
}

void ScreenSaverInhibitor::answered(MediaPlayer *player, bool viaPortal, const QDBusPendingCall &answer)
{
    const Hold granted = held(viaPortal, answer);
    const auto it = holds.find(player);
    const bool stillAsking = it != holds.end() && it->stage == Hold::Asking && it->viaPortal == viaPortal;
    if (!stillAsking) {
        // The player went while the answer was on its way.
        if (granted.stage == Hold::Held)
            giveBack(granted, false);
        return;
    }
    if (granted.stage != Hold::Held) {
        if (!viaPortal) {
            ask(player, true);
        } else {
            qCDebug(lcDesktop) << "Neither the screen saver nor the portal keeps the screen awake:"
                               << answer.error().message();
            *it = Hold();
        }
        return;
    }
    *it = granted;
    qCDebug(lcDesktop) << "Screen kept awake for a video"
                       << (viaPortal ? granted.request.path() : QString::number(granted.cookie));
    update(player);
}

void ScreenSaverInhibitor::dropped(MediaPlayer *player)
{
    const Hold hold = holds.take(player);
    if (hold.stage == Hold::Held)
        giveBack(hold, false);
    // One still being asked for is given back when its answer comes.
}

void ScreenSaverInhibitor::giveBack(const Hold &hold, bool wait)
{
    QDBusMessage call;
    if (hold.viaPortal) {
        call = QDBusMessage::createMethodCall(
            portal, hold.request.path(), QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close"));
    } else {
        call = QDBusMessage::createMethodCall(screenSaver, screenSaverPath, screenSaver, QStringLiteral("UnInhibit"));
        call << hold.cookie;
    }
    if (wait)
        bus.call(call, QDBus::Block, 2000);
    else
        bus.send(call);
}
