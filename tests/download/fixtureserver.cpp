#include "fixtureserver.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QtEndian>

namespace {
const qint64 blockSize = 65536;

QByteArray filler()
{
    QByteArray bytes(int(blockSize), Qt::Uninitialized);
    for (int i = 0; i < blockSize; ++i)
        bytes[i] = char((i * 131 + (i >> 8) * 17 + 7) & 0xFF);
    return bytes;
}
} // namespace

FixtureServer::~FixtureServer()
{
    stop();
}

bool FixtureServer::start(const QList<Certificate> &certificates, int timeoutMs)
{
    QStringList arguments{QStringLiteral(MELODRIFT_SOURCE_DIR "/tests/download/fixture_server.py")};
    for (const Certificate &certificate : certificates)
        arguments << QStringLiteral("--tls") << certificate.first << certificate.second;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("python3"), arguments);
    if (!process.waitForStarted(timeoutMs))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (bases.size() < certificates.size() + 1) {
        if (process.canReadLine()) {
            bases << QUrl(QString::fromUtf8(process.readLine().trimmed()));
            continue;
        }
        if (process.state() != QProcess::Running || clock.elapsed() > timeoutMs)
            return false;
        process.waitForReadyRead(100);
    }
    for (const QUrl &base : qAsConst(bases)) {
        if (base.host() != QLatin1String("127.0.0.1"))
            return false;
    }
    return true;
}

void FixtureServer::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

QUrl FixtureServer::http(const QString &path) const
{
    return bases.value(0).resolved(QUrl(path));
}

QUrl FixtureServer::https(int listener, const QString &path) const
{
    return bases.value(listener + 1).resolved(QUrl(path));
}

QStringList FixtureServer::requests() const
{
    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.get(QNetworkRequest(http(QStringLiteral("/requests"))));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    const QString body = QString::fromUtf8(reply->readAll());
    delete reply;
    return body.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool FixtureServer::makeCertificate(const QString &certFile, const QString &keyFile,
                                    const QString &commonName, const QStringList &extraOptions)
{
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    openssl.start(QStringLiteral("openssl"),
                  QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-nodes"),
                              QStringLiteral("-newkey"), QStringLiteral("ec"),
                              QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                              QStringLiteral("-days"), QStringLiteral("2"),
                              QStringLiteral("-subj"), QStringLiteral("/CN=") + commonName,
                              QStringLiteral("-keyout"), keyFile, QStringLiteral("-out"), certFile}
                      + extraOptions);
    return openssl.waitForFinished(30000) && openssl.exitStatus() == QProcess::NormalExit
           && openssl.exitCode() == 0;
}

QByteArray FixtureServer::pattern(qint64 offset, qint64 length)
{
    static const QByteArray fill = filler();
    QByteArray bytes;
    bytes.reserve(int(length));
    for (qint64 block = offset / blockSize; bytes.size() < length; ++block) {
        QByteArray piece = fill;
        qToBigEndian<quint64>(quint64(block), piece.data());
        const qint64 skip = bytes.isEmpty() ? offset - block * blockSize : 0;
        bytes += piece.mid(int(skip), int(qMin(blockSize - skip, length - bytes.size())));
    }
    return bytes;
}

bool FixtureServer::fileHoldsPattern(const QString &path, qint64 size, QString *why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    if (file.size() != size) {
        *why = QStringLiteral("%1 holds %2 bytes, %3 were served").arg(path).arg(file.size()).arg(size);
        return false;
    }
    const qint64 chunk = 16 * blockSize;
    for (qint64 offset = 0; offset < size; offset += chunk) {
        const QByteArray read = file.read(chunk);
        if (read != pattern(offset, qMin(chunk, size - offset))) {
            *why = QStringLiteral("%1 differs from the served bytes within bytes %2 to %3")
                       .arg(path).arg(offset).arg(offset + chunk);
            return false;
        }
    }
    return true;
}
