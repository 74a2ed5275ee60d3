#include "mwebpage.h"

#include <QDebug>

MWebPage::MWebPage(QObject *parent)
    : QWebPage(parent)
{
}

MWebPage::~MWebPage() = default;

QString MWebPage::consoleMessageText(const QString &message, int lineNumber, const QString &sourceID)
{
    return message + QLatin1String(" on line:") + QString::number(lineNumber) + QLatin1String(" Source:") + sourceID;
}

void MWebPage::javaScriptConsoleMessage(const QString &message, int lineNumber, const QString &sourceID)
{
    qDebug() << consoleMessageText(message, lineNumber, sourceID);
}

QString MWebPage::userAgentForUrl(const QUrl &) const
{
    // The chart service serves its pages to this identity; the unclosed
    // parenthesis and the trailing blank are part of it.
    return QStringLiteral("Mozilla/5.0 (SymbianOS/9.4; U; Series60/5.0 windows - - ");
}
