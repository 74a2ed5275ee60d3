#include "trayicon.h"

#include "currentplayer.h"
#include "desktopintegration.h"
#include "desktopsettings.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QTextDocument>
#include <QWidget>

// Outside any namespace: the resource's initialiser lives in the global one.
static QIcon applicationIcon()
{
    Q_INIT_RESOURCE(desktop);
    QIcon fallback;
    for (const char *size : {"16", "32", "48", "64"})
        fallback.addFile(QStringLiteral(":/desktop/%1.png").arg(QLatin1String(size)));
    return QIcon::fromTheme(DesktopIntegration::desktopEntry(), fallback);
}

TrayIcon::TrayIcon(CurrentPlayer *current, QWidget *window, QObject *parent)
    : QObject(parent)
    , current(current)
    , window(window)
{
    windowAction = menu.addAction(QString(), this, &TrayIcon::toggleWindow);
    playAction = menu.addAction(QString(), current, &CurrentPlayer::playPause);
    nextAction = menu.addAction(tr("&Next"), current, &CurrentPlayer::next);
    menu.addSeparator();
    menu.addAction(tr("&Quit"), this, &TrayIcon::quitRequested);

    icon.setIcon(applicationIcon());
    icon.setContextMenu(&menu);
    connect(&icon, &QSystemTrayIcon::activated, this, &TrayIcon::activated);
    connect(current, &CurrentPlayer::changed, this, &TrayIcon::update);
    window->installEventFilter(this);
    update();
    icon.show();
}

bool TrayIcon::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != window)
        return false;
    switch (event->type()) {
    case QEvent::Close:
        // Only where the tray is there to bring it back.
        if (DesktopSettings::keepRunningInTray() && QSystemTrayIcon::isSystemTrayAvailable() && icon.isVisible()) {
            event->ignore();
            hideWindow();
            return true;
        }
        break;
    case QEvent::Show:
        // Shown again, from the tray or by a later start: closing it ends
        // Melodrift again, as Qt's rule has it.
        QApplication::setQuitOnLastWindowClosed(true);
        update();
        break;
    case QEvent::Hide:
        update();
        break;
    default:
        break;
    }
    return false;
}

void TrayIcon::activated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger)
        toggleWindow();
    else if (reason == QSystemTrayIcon::MiddleClick)
        current->playPause();
}

void TrayIcon::toggleWindow()
{
    if (window->isVisible())
        hideWindow();
    else
        showWindow();
}

void TrayIcon::showWindow()
{
    window->show();
    window->raise();
    window->activateWindow();
}

void TrayIcon::hideWindow()
{
    // The tray keeps Melodrift now: a player or a prompt that closes while
    // the window is hidden must not end it as the last window would.
    QApplication::setQuitOnLastWindowClosed(false);
    window->hide();
}

void TrayIcon::update()
{
    windowAction->setText(window->isVisible() ? tr("&Hide Melodrift") : tr("&Show Melodrift"));
    const bool playing = current->state() == Phonon::PlayingState || current->state() == Phonon::BufferingState;
    playAction->setText(playing ? tr("&Pause") : tr("&Play"));
    playAction->setEnabled(current->hasSource());
    nextAction->setEnabled(current->canGoNext());

    // Tray hosts read the tooltip as markup, and the title is the media's:
    // given as rich text, escaped, it shows as it is everywhere (Qt's own
    // tooltip, for the X tray, reads it as rich text too).
    QString text = QStringLiteral("Melodrift");
    if (current->hasSource() && current->state() != Phonon::StoppedState) {
        text = current->title();
        const QStringList artists = current->artists();
        if (!artists.isEmpty())
            text += QLatin1Char('\n') + artists.join(QStringLiteral(", "));
    }
    const QString tip = Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
    if (icon.toolTip() != tip)
        icon.setToolTip(tip);
}
