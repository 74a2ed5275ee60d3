#include "serverprocess.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

ServerProcess::ServerProcess()
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setReadChannel(QProcess::StandardOutput);
}

ServerProcess::~ServerProcess()
{
    stop();
}

bool ServerProcess::start(const QStringList &arguments, int listeners, int timeoutMs)
{
    bases.clear();
    process.start(QStringLiteral("python3"), arguments);
    if (!process.waitForStarted(timeoutMs))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (bases.size() < listeners) {
        if (process.canReadLine()) {
            const QUrl base(QString::fromUtf8(process.readLine().trimmed()));
            if (!base.isValid() || base.host() != QLatin1String("127.0.0.1"))
                return false;
            bases << base;
            continue;
        }
        if (process.state() != QProcess::Running || clock.elapsed() > timeoutMs)
            return false;
        process.waitForReadyRead(100);
    }
    return true;
}

void ServerProcess::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

QByteArray ServerProcess::fetch(const QUrl &url)
{
    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.get(QNetworkRequest(url));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray body = reply->readAll();
    delete reply;
    return body;
}
