#include "pageview.h"

QString PageView::userAgent()
{
    return QStringLiteral("Mozilla/5.0 (SymbianOS/9.4; U; Series60/5.0 windows - - ");
}

QString PageView::consoleMessageText(const QString &message, int lineNumber, const QString &sourceID)
{
    return message + QLatin1String(" on line:") + QString::number(lineNumber) + QLatin1String(" Source:") + sourceID;
}
