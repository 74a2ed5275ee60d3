#ifndef FIXTURESERVER_H
#define FIXTURESERVER_H

#include "serverprocess.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QStringList>
#include <QUrl>

// fixture_server.py on ephemeral loopback ports: one plain HTTP listener and
// one HTTPS listener per certificate, stopped with this object.
class FixtureServer
{
public:
    using Certificate = QPair<QString, QString>; // certificate file, key file

    bool start(const QList<Certificate> &certificates = {}, int timeoutMs = 30000);
    void stop() { server.stop(); }

    QUrl http(const QString &path) const;
    QUrl https(int listener, const QString &path) const;

    // Paths requested so far, oldest first, each followed by those of the
    // named headers it came with ("\tRange: bytes=10-").
    QStringList requests(const QStringList &headers = {}) const;

    // Writes a self-signed certificate for `commonName` and its key with
    // openssl; `extraOptions` go to "openssl req".
    static bool makeCertificate(const QString &certFile, const QString &keyFile, const QString &commonName,
                                const QStringList &extraOptions = {});

    // The body the server sends for /bytes/<size>, rebuilt here.
    static QByteArray pattern(qint64 offset, qint64 length);
    // Whether the file holds exactly the /bytes/<size> body; `why` says where not.
    static bool fileHoldsPattern(const QString &path, qint64 size, QString *why);

private:
    ServerProcess server;
};

#endif // FIXTURESERVER_H
