#include "chartservice.h"
#include "testenvironment.h"

bool ChartService::start(int timeoutMs)
{
    return server.start({TestEnvironment::sourcePath(QStringLiteral("chart-service/server.py")),
                         QStringLiteral("--port"), QStringLiteral("0"),
                         QStringLiteral("--exit-with-parent")},
                        1, timeoutMs);
}
