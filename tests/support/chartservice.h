#ifndef CHARTSERVICE_H
#define CHARTSERVICE_H

#include <QByteArray>
#include <QProcess>
#include <QUrl>

// The stand-in chart service, started on an ephemeral loopback port for one
// test and stopped with it.
class ChartService
{
public:
    ChartService();
    ~ChartService();

    bool start(int timeoutMs = 30000);
    void stop();

    QUrl baseUrl() const { return base; }
    QUrl url(const QString &path) const { return base.resolved(QUrl(path)); }
    QUrl startPage() const { return url(QStringLiteral("charts/v3.6w_pro/cutter11.php")); }

    // A blocking GET, for reading the service's own logs from a test.
    QByteArray fetch(const QString &path) const;

private:
    QProcess process;
    QUrl base;
};

#endif // CHARTSERVICE_H
