#ifndef BUSSTANDIN_H
#define BUSSTANDIN_H

#include <QProcess>
#include <QStringList>

// A desktop service stood in for by python3-dbusmock on the test's private
// session bus (the suite runs under dbus-run-session). It records every call
// it receives, which the test reads back as dbusmock logs them: the method
// and its arguments, e.g. `UnInhibit 1`. Stopped with this object.
class BusStandIn
{
public:
    enum Kind {
        ScreenSaver,   // Inhibit answers cookies 1, 2, ...
        Portal,        // Inhibit answers request objects .../request/melodrift/1, 2, ...
        Notifications, // dbusmock's notification_daemon: Notify answers ids 1, 2, ...
        TrayWatcher,   // org.kde.StatusNotifierWatcher with a host: tray icons show as items
    };

    explicit BusStandIn(Kind kind);
    ~BusStandIn();

    bool start(int timeoutMs = 20000);
    // The calls received so far, oldest first, those of `method` only when given.
    QStringList calls(const QString &method = QString());

private:
    Kind kind;
    QProcess process;
    QStringList received;
};

#endif // BUSSTANDIN_H
