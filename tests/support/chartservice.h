#ifndef CHARTSERVICE_H
#define CHARTSERVICE_H

#include "serverprocess.h"

#include <QByteArray>
#include <QUrl>
#include <QUrlQuery>

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
    // A page of the service's own host holding this HTML (only http pages
    // of the chart service's host get Player); `query` is added for its script.
    QUrl page(const QString &html, QUrlQuery query = QUrlQuery()) const;
    QUrl pageFromFile(const QString &sourceFile, const QUrlQuery &query = QUrlQuery()) const;

    // A blocking GET, for reading the service's own logs from a test.
    QByteArray fetch(const QString &path) const { return ServerProcess::fetch(url(path)); }

private:
    ServerProcess server;
};

#endif // CHARTSERVICE_H
