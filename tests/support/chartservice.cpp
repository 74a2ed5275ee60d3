#include "chartservice.h"
#include "testenvironment.h"

#include <QFile>

bool ChartService::start(int timeoutMs)
{
    return server.start({TestEnvironment::sourcePath(QStringLiteral("chart-service/server.py")),
                         QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--exit-with-parent")},
                        1, timeoutMs);
}

QUrl ChartService::page(const QString &html, QUrlQuery query) const
{
    query.addQueryItem(QStringLiteral("type"), QStringLiteral("text/html"));
    query.addQueryItem(QStringLiteral("body"), QString::fromLatin1(QUrl::toPercentEncoding(html)));
    QUrl page = url(QStringLiteral("status/200"));
    page.setQuery(query);
    return page;
}

QUrl ChartService::pageFromFile(const QString &sourceFile, const QUrlQuery &query) const
{
    QFile file(TestEnvironment::sourcePath(sourceFile));
    return file.open(QIODevice::ReadOnly) ? page(QString::fromUtf8(file.readAll()), query) : QUrl();
}
