#ifndef MEDIAVIDEOWIDGET_H
#define MEDIAVIDEOWIDGET_H

#include <QAction>
#include <QBasicTimer>

#include <phonon/VideoWidget>

class MediaPlayer;

// The player's video surface: full screen by double click, Alt+Return, the
// player's menu action, left with Escape or Backspace; a pointer that hides
// in full screen; Space and 0 for play and pause; drops go to the player.
class MediaVideoWidget : public Phonon::VideoWidget
{
    Q_OBJECT

public:
    MediaVideoWidget(MediaPlayer *player, QWidget *parent = nullptr);

public slots:
    // Hides the base's non-virtual slot so that every change is announced.
    void setFullScreen(bool enabled);

signals:
    void fullScreenChanged(bool);

protected:
    bool event(QEvent *e) override;
    void timerEvent(QTimerEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dropEvent(QDropEvent *e) override;

private:
    MediaPlayer *hostPlayer;
    QBasicTimer cursorTimer;
    QAction fullScreenToggle;
};

#endif // MEDIAVIDEOWIDGET_H
