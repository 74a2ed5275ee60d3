#include "messagelog.h"

#include <QMutex>
#include <QMutexLocker>

namespace {
MessageLog *active = nullptr;
// The back ends write from their own threads too.
QMutex guard;
} // namespace

MessageLog::MessageLog(Echo echo)
    : echo(echo)
{
    Q_ASSERT(!active);
    active = this;
    previous = qInstallMessageHandler(&MessageLog::capture);
}

MessageLog::~MessageLog()
{
    qInstallMessageHandler(previous);
    QMutexLocker lock(&guard);
    active = nullptr;
}

void MessageLog::capture(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    QtMessageHandler next = nullptr;
    {
        QMutexLocker lock(&guard);
        if (!active)
            return;
        active->all.append({type, text});
        if (type != QtDebugMsg || active->echo == EchoAll)
            next = active->previous;
    }
    if (next)
        next(type, context, text);
}

void MessageLog::clear()
{
    QMutexLocker lock(&guard);
    all.clear();
}

bool MessageLog::isConsoleMessage(const QString &text)
{
    return text.contains(QLatin1String(" on line:")) && text.contains(QLatin1String(" Source:"));
}

QStringList MessageLog::debug() const
{
    QStringList texts;
    for (const Entry &entry : all) {
        if (entry.type == QtDebugMsg && !isConsoleMessage(entry.text))
            texts.append(entry.text);
    }
    return texts;
}

QStringList MessageLog::warnings() const
{
    QStringList texts;
    for (const Entry &entry : all) {
        if (entry.type == QtWarningMsg)
            texts.append(entry.text);
    }
    return texts;
}

QStringList MessageLog::console() const
{
    QStringList texts;
    for (const Entry &entry : all) {
        if (entry.type == QtDebugMsg && isConsoleMessage(entry.text))
            texts.append(entry.text);
    }
    return texts;
}

int MessageLog::count(const QString &exactDebugText) const
{
    return debug().count(exactDebugText);
}
