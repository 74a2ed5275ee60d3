#include "desktopintegration.h"

#include "currentplayer.h"
#include "mediaplayer.h"
#include "mprisservice.h"
#include "screensaverinhibitor.h"
#include "songnotifier.h"
#include "trayicon.h"
#include "volumememory.h"

#include <QDBusConnection>
#include <QDebug>
#include <QGuiApplication>
#include <QWidget>

// "melodrift.desktop.debug=true" in QT_LOGGING_RULES tells what the desktop
// was asked and what it answered.
Q_LOGGING_CATEGORY(lcDesktop, "melodrift.desktop", QtWarningMsg)

DesktopIntegration::DesktopIntegration(QWidget *window)
    : QObject(window)
    , current(new CurrentPlayer(this))
    , volumeMemory(new VolumeMemory(this))
{
    connect(current, &CurrentPlayer::nextRequested, this, &DesktopIntegration::nextRequested);
    auto *tray = new TrayIcon(current, window, this);
    connect(tray, &TrayIcon::quitRequested, this, &DesktopIntegration::quitRequested);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qDebug() << "No session bus: no desktop media controls, screen inhibition or notifications";
        return;
    }
    mpris = new MprisService(bus, current, this);
    if (mpris->publish()) {
        qCDebug(lcDesktop) << "Media controls on the session bus as" << mpris->busName();
        connect(mpris, &MprisService::quitRequested, this, &DesktopIntegration::quitRequested);
        connect(mpris, &MprisService::raiseRequested, this, &DesktopIntegration::raiseRequested);
        connect(mpris, &MprisService::volumeChosen, volumeMemory, &VolumeMemory::choose);
    } else {
        qDebug() << "The media controls could not be published on the session bus:" << bus.lastError().message();
        delete mpris;
        mpris = nullptr;
    }
    inhibitor = new ScreenSaverInhibitor(bus, this);
    notifier = new SongNotifier(bus, window, this);
}

DesktopIntegration::~DesktopIntegration() = default;

void DesktopIntegration::addPlayer(MediaPlayer *player, bool listening)
{
    if (!player)
        return;
    players.removeAll(nullptr);
    if (!players.contains(player)) {
        players.append(player);
        volumeMemory->adopt(player);
        if (inhibitor)
            inhibitor->watch(player);
    }
    current->addPlayer(player, listening);
    if (listening && notifier)
        notifier->setListeningPlayer(player);
}

void DesktopIntegration::setCanGoNext(const std::function<bool()> &canGoNext)
{
    current->setCanGoNext(canGoNext);
}

void DesktopIntegration::canGoNextMayHaveChanged()
{
    current->canGoNextMayHaveChanged();
}

void DesktopIntegration::setListeningPlayerSource(const std::function<MediaPlayer *()> &source)
{
    current->setListeningPlayerSource([this, source] {
        MediaPlayer *player = source();
        addPlayer(player, true);
        return player;
    });
}

QString DesktopIntegration::desktopEntry()
{
    QString id = QGuiApplication::desktopFileName();
    if (id.endsWith(QLatin1String(".desktop")))
        id.chop(8);
    return id.isEmpty() ? QStringLiteral("melodrift") : id;
}
