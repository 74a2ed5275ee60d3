#include "chartservice.h"
#include "testenvironment.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

ChartService::ChartService()
{
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setReadChannel(QProcess::StandardOutput);
    // The service's request log goes to the test's output, where it helps.
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

ChartService::~ChartService()
{
    stop();
}

bool ChartService::start(int timeoutMs)
{
    process.start(QStringLiteral("python3"),
                  {TestEnvironment::sourcePath(QStringLiteral("chart-service/server.py")),
                   QStringLiteral("--port"), QStringLiteral("0")});
    if (!process.waitForStarted(timeoutMs))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (!process.canReadLine()) {
        if (process.state() != QProcess::Running || clock.elapsed() > timeoutMs)
            return false;
        process.waitForReadyRead(100);
    }
    base = QUrl(QString::fromUtf8(process.readLine().trimmed()));
    return base.isValid() && base.host() == QLatin1String("127.0.0.1");
}

void ChartService::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

QByteArray ChartService::fetch(const QString &path) const
{
    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.get(QNetworkRequest(url(path)));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray body = reply->readAll();
    delete reply;
    return body;
}
