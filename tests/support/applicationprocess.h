#ifndef APPLICATIONPROCESS_H
#define APPLICATIONPROCESS_H

#include <QProcess>
#include <QStringList>
#include <QUrl>

// The real executable running in the background on a start page, for tests
// that steer it from outside as the desktop would; killed with this object
// if it is still running.
class ApplicationProcess
{
public:
    ~ApplicationProcess();

    // Starts it and waits until its media controls are on the session bus.
    bool start(const QUrl &startPage, int timeoutMs = 30000);
    // Asks it to quit through its media controls (Quit). Why it did not
    // then end with exit code 0 in time (it is killed then), or nothing.
    QString quit(int timeoutMs = 15000);
    QString output();

    // `playerctl -p melodrift ARGUMENTS`: what it printed, trimmed, or its
    // error output when it failed.
    static QString playerctl(const QStringList &arguments);

private:
    QProcess process;
    QString printed;
};

#endif // APPLICATIONPROCESS_H
