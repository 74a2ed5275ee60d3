#include "mediavideowidget.h"
#include "mediaplayer.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimerEvent>

MediaVideoWidget::MediaVideoWidget(MediaPlayer *player, QWidget *parent)
    : Phonon::VideoWidget(parent)
    , hostPlayer(player)
    , fullScreenToggle(this)
{
    fullScreenToggle.setCheckable(true);
    fullScreenToggle.setChecked(false);
    fullScreenToggle.setShortcut(QKeySequence(Qt::ALT + Qt::Key_Return));
    fullScreenToggle.setShortcutContext(Qt::WindowShortcut);
    connect(&fullScreenToggle, &QAction::toggled, this, &MediaVideoWidget::setFullScreen);
    addAction(&fullScreenToggle);
    setAcceptDrops(true);
}

void MediaVideoWidget::setFullScreen(bool enabled)
{
    Phonon::VideoWidget::setFullScreen(enabled);
    emit fullScreenChanged(enabled);
}

bool MediaVideoWidget::event(QEvent *e)
{
    switch (e->type()) {
    case QEvent::Close:
        // A full-screen video is a top-level window; closing it would lose the video.
        e->ignore();
        return true;
    case QEvent::MouseMove:
        unsetCursor();
        Q_FALLTHROUGH();
    case QEvent::WindowStateChange: {
        // The window system may report the full-screen state of the former
        // top-level window after the widget is back inside the player; taken
        // at its word, that report would throw the video into full screen again.
        if (!isWindow() && (windowState() & Qt::WindowFullScreen))
            setWindowState(windowState() & ~Qt::WindowFullScreen);
        const bool full = windowState() & Qt::WindowFullScreen;
        fullScreenToggle.setChecked(full);
        if (full) {
            cursorTimer.start(1000, this);
        } else {
            cursorTimer.stop();
            unsetCursor();
        }
        break;
    }
    default:
        break;
    }
    return Phonon::VideoWidget::event(e);
}

void MediaVideoWidget::timerEvent(QTimerEvent *e)
{
    if (e->timerId() == cursorTimer.timerId())
        setCursor(Qt::BlankCursor);
    QObject::timerEvent(e);
}

void MediaVideoWidget::mouseDoubleClickEvent(QMouseEvent *e)
{
    QWidget::mouseDoubleClickEvent(e);
    setFullScreen(!isFullScreen());
}

void MediaVideoWidget::keyPressEvent(QKeyEvent *e)
{
    if (e->modifiers() == Qt::NoModifier) {
        switch (e->key()) {
        case Qt::Key_Space:
        case Qt::Key_0:
            hostPlayer->playPause();
            e->accept();
            return;
        case Qt::Key_Escape:
        case Qt::Key_Backspace:
            setFullScreen(false);
            e->accept();
            return;
        default:
            break;
        }
    }
    QWidget::keyPressEvent(e);
}

void MediaVideoWidget::dragEnterEvent(QDragEnterEvent *e)
{
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void MediaVideoWidget::dropEvent(QDropEvent *e)
{
    hostPlayer->handleDrop(e);
}
