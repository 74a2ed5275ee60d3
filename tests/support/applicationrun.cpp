#include "applicationrun.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>

ApplicationRun ApplicationRun::on(const QUrl &startPage, int timeoutMs)
{
    ApplicationRun run;
    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MELODRIFT_START_URL"), startPage.toString(QUrl::FullyEncoded));
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::MergedChannels);

    QElapsedTimer clock;
    clock.start();
    app.start(QStringLiteral(MELODRIFT_BINARY_DIR "/melodrift"), QStringList());
    run.started = app.waitForStarted(10000);
    if (!run.started)
        return run;
    run.finished = app.waitForFinished(timeoutMs);
    run.elapsedMs = clock.elapsed();
    if (!run.finished) {
        app.kill();
        app.waitForFinished(5000);
    }
    run.output = QString::fromLocal8Bit(app.readAll());
    run.exitStatus = app.exitStatus();
    run.exitCode = app.exitCode();
    return run;
}

QString ApplicationRun::failure(int withinMs) const
{
    if (!started)
        return QStringLiteral("did not start");
    if (!finished)
        return QStringLiteral("still running after %1 ms:\n%2").arg(elapsedMs).arg(output);
    if (exitStatus != QProcess::NormalExit)
        return QStringLiteral("crashed:\n") + output;
    if (exitCode != 0)
        return QStringLiteral("exit code %1:\n%2").arg(exitCode).arg(output);
    if (elapsedMs >= withinMs)
        return QStringLiteral("took %1 ms").arg(elapsedMs);
    return QString();
}
