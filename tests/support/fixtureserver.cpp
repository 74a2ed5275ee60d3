#include "fixtureserver.h"

#include <QFile>
#include <QProcess>
#include <QUrlQuery>
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

bool FixtureServer::start(const QList<Certificate> &certificates, int timeoutMs)
{
    QStringList arguments{QStringLiteral(MELODRIFT_SOURCE_DIR "/tests/download/fixture_server.py")};
    for (const Certificate &certificate : certificates)
        arguments << QStringLiteral("--tls") << certificate.first << certificate.second;
    return server.start(arguments, certificates.size() + 1, timeoutMs);
}

QUrl FixtureServer::http(const QString &path) const
{
    return server.base().resolved(QUrl(path));
}

QUrl FixtureServer::https(int listener, const QString &path) const
{
    return server.base(listener + 1).resolved(QUrl(path));
}

QStringList FixtureServer::requests(const QStringList &headers) const
{
    QUrlQuery query;
    for (const QString &header : headers)
        query.addQueryItem(QStringLiteral("header"), header);
    QUrl log = http(QStringLiteral("/requests"));
    log.setQuery(query);
    const QString body = QString::fromUtf8(ServerProcess::fetch(log));
    return body.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool FixtureServer::makeCertificate(const QString &certFile, const QString &keyFile, const QString &commonName,
                                    const QStringList &extraOptions)
{
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    openssl.start(QStringLiteral("openssl"),
                  QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-nodes"),
                              QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                              QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-days"),
                              QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=") + commonName,
                              QStringLiteral("-keyout"), keyFile, QStringLiteral("-out"), certFile}
                      + extraOptions);
    return openssl.waitForFinished(30000) && openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0;
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
                       .arg(path)
                       .arg(offset)
                       .arg(offset + chunk);
            return false;
        }
    }
    return true;
}
