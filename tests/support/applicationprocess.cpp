#include "applicationprocess.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QtTest>

ApplicationProcess::~ApplicationProcess()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool ApplicationProcess::start(const QUrl &startPage, const QProcessEnvironment &changed, const QStringList &arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MELODRIFT_START_URL"), startPage.toString(QUrl::FullyEncoded));
    env.insert(changed);
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    clock.start();
    process.start(program(), arguments);
    return process.waitForStarted(10000);
}

QString ApplicationProcess::program()
{
    // A suite registered for one web engine runs the program built on it.
    return qEnvironmentVariable("MELODRIFT_TEST_PROGRAM", QStringLiteral(MELODRIFT_BINARY_DIR "/melodrift"));
}

bool ApplicationProcess::waitForControls(int timeoutMs)
{
    return QTest::qWaitFor(
        [this] {
            return process.state() == QProcess::Running
                   && playerctl({QStringLiteral("status")}) == QLatin1String("Stopped");
        },
        timeoutMs);
}

QString ApplicationProcess::finish(int withinMs)
{
    if (process.state() != QProcess::NotRunning
        && !process.waitForFinished(int(qMax<qint64>(0, withinMs - clock.elapsed())))) {
        process.kill();
        process.waitForFinished(5000);
        return QStringLiteral("still running after %1 ms:\n%2").arg(withinMs).arg(output());
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return QStringLiteral("crashed:\n") + output();
    if (process.exitCode() != 0)
        return QStringLiteral("exit code %1:\n%2").arg(process.exitCode()).arg(output());
    return QString();
}

QString ApplicationProcess::quit(int withinMs)
{
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.mpris.MediaPlayer2.melodrift"), QStringLiteral("/org/mpris/MediaPlayer2"),
        QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Quit"));
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return QStringLiteral("Quit failed: ") + reply.errorMessage();
    clock.start();
    return finish(withinMs);
}

QString ApplicationProcess::output()
{
    printed += QString::fromLocal8Bit(process.readAll());
    return printed;
}

QString ApplicationProcess::playerctl(const QStringList &arguments)
{
    QProcess client;
    client.start(QStringLiteral("playerctl"),
                 QStringList{QStringLiteral("-p"), QStringLiteral("melodrift")} + arguments);
    // The event loop runs meanwhile: the player it steers may be this process's own.
    if (!QTest::qWaitFor([&] { return client.state() == QProcess::NotRunning; }, 10000))
        return QStringLiteral("playerctl did not answer");
    const QByteArray out = client.exitCode() == 0 ? client.readAllStandardOutput() : client.readAllStandardError();
    return QString::fromUtf8(out).trimmed();
}
