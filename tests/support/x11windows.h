#ifndef X11WINDOWS_H
#define X11WINDOWS_H

#include <QList>
#include <QRect>
#include <QString>

// What the X server shows of another process's windows, as a window manager
// would see them: its top-level windows (those carrying its _NET_WM_PID) in
// stacking order, and whether each is mapped; and what a window manager
// does to them.
namespace X11Windows {

struct Window
{
    quint32 id = 0;
    QString title;
    QRect geometry;
    bool mapped = false;
    // Its place among all top-level windows, counted from the bottom.
    int stacking = -1;
};

// Bottom to top; empty without an X server.
QList<Window> ofProcess(qint64 pid);
// Every window the server holds at the top (the root's children) of every
// client, mapped or not; -1 without an X server.
int topLevelCount();
// The largest one titled so (the main window is titled with the
// application's name, and so are some small ones), else a window with no id.
Window titled(qint64 pid, const QString &title);

// Puts it over every other, done when this returns (a Qt program sends its
// own requests to the server only when its event loop next waits).
void raise(quint32 window);

// Asks it to close, as a window manager's close button does (WM_DELETE_WINDOW).
void close(quint32 window);

} // namespace X11Windows

#endif // X11WINDOWS_H
