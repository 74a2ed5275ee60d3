#ifndef TRAYICON_H
#define TRAYICON_H

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

class CurrentPlayer;
class QAction;
class QWidget;

// Melodrift in the desktop's tray (a StatusNotifierItem where a host shows
// them, else the X tray): its menu shows or hides the main window, plays or
// pauses the current player, moves the page on and quits; its tooltip names
// the song shown. Clicking it shows or hides the window. Where the user
// chose to keep Melodrift running in the tray, closing the window hides it
// there instead of ending the program.
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    TrayIcon(CurrentPlayer *current, QWidget *window, QObject *parent = nullptr);

signals:
    void quitRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void activated(QSystemTrayIcon::ActivationReason reason);
    void toggleWindow();
    void showWindow();
    void hideWindow();
    void update();

    CurrentPlayer *current;
    QWidget *window;
    // The icon refers to its menu until it goes.
    QMenu menu;
    QSystemTrayIcon icon;
    QAction *windowAction;
    QAction *playAction;
    QAction *nextAction;
};

#endif // TRAYICON_H
