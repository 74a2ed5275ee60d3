#include "baselinepage.h"

#include <cstdio>

BaselinePage::BaselinePage(QObject *parent)
    : QWebPage(parent)
{
}

void BaselinePage::javaScriptConsoleMessage(const QString &message, int lineNumber, const QString &sourceID)
{
    // stdio rather than qDebug: the floor should not pay for Qt's message machinery.
    std::fprintf(stderr, "console: %s (line %d, %s)\n", message.toUtf8().constData(), lineNumber,
                 sourceID.toUtf8().constData());
    std::fflush(stderr);
}
