#ifndef APPLICATIONPROCESS_H
#define APPLICATIONPROCESS_H

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QUrl>

// The real executable on a start page, in the test's environment: left to
// end by itself (the page calls Player.exit()), or steered from outside as
// the desktop would, through its media controls. Killed with this object if
// it is still running; its debug output is kept for failure messages.
class ApplicationProcess
{
public:
    ~ApplicationProcess();

    // Starts it, with these variables changed and these arguments; false
    // when it could not be started.
    bool start(const QUrl &startPage, const QProcessEnvironment &changed = QProcessEnvironment(),
               const QStringList &arguments = QStringList());
    // Waits until its media controls are on the session bus.
    bool waitForControls(int timeoutMs = 30000);
    // Waits until it ends by itself within withinMs of its start (it is
    // killed after that). Why it did not end with exit code 0 in time, or
    // nothing.
    QString finish(int withinMs);
    // Asks it to quit through its media controls (Quit), then as finish().
    QString quit(int withinMs = 15000);
    QString output();
    qint64 pid() const { return process.processId(); }

    // The executable the suite runs: the one built on the suite's web engine.
    static QString program();

    // `playerctl -p melodrift ARGUMENTS`: what it printed, trimmed, or its
    // error output when it failed. The event loop runs while it waits, so
    // the controls may be this process's own.
    static QString playerctl(const QStringList &arguments);

private:
    QProcess process;
    QElapsedTimer clock;
    QString printed;
};

#endif // APPLICATIONPROCESS_H
