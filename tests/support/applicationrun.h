#ifndef APPLICATIONRUN_H
#define APPLICATIONRUN_H

#include <QProcess>
#include <QString>
#include <QUrl>

// The real executable, run on a given start page until it ends by itself or
// the time is up (then it is killed). Its debug output is kept for the
// messages of failed checks.
struct ApplicationRun
{
    bool started = false;
    bool finished = false;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    int exitCode = -1;
    qint64 elapsedMs = 0;
    QString output;

    static ApplicationRun on(const QUrl &startPage, int timeoutMs);
    // Why the run did not end with exit code 0 on its own within
    // withinMs, or an empty string when it did.
    QString failure(int withinMs) const;
};

#endif // APPLICATIONRUN_H
