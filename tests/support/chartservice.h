#ifndef CHARTSERVICE_H
#define CHARTSERVICE_H

#include "serverprocess.h"

#include <QByteArray>
#include <QUrl>

// The stand-in chart service, started on an ephemeral loopback port for one
// test and stopped with it.
class ChartService
{
public:
    bool start(int timeoutMs = 30000);
    void stop() { server.stop(); }

    QUrl baseUrl() const { return server.base(); }
    QUrl url(const QString &path) const { return baseUrl().resolved(QUrl(path)); }
    QUrl startPage() const { return url(QStringLiteral("charts/v3.6w_pro/cutter11.php")); }

    // A blocking GET, for reading the service's own logs from a test.
    QByteArray fetch(const QString &path) const { return ServerProcess::fetch(url(path)); }

private:
    ServerProcess server;
};

#endif // CHARTSERVICE_H
