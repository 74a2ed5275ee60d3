#ifndef MESSAGELOG_H
#define MESSAGELOG_H

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Every message the process writes while the log lives, in order and by
// type. The page's console messages (they end in " on line:N Source:URL")
// are told apart from the application's own debug messages. Each message
// still reaches the handler the log replaced, so the test's output keeps it.
// Make it in initTestCase or later: the test runner installs its own handler
// before that. One log at a time.
class MessageLog
{
public:
    struct Entry
    {
        QtMsgType type;
        QString text;
    };

    // Whether debug messages also reach the test's output; suites that pass
    // megabytes through the page keep them to the log.
    enum Echo { EchoAll, EchoAllButDebug };

    explicit MessageLog(Echo echo = EchoAll);
    ~MessageLog();

    void clear();
    QList<Entry> entries() const { return all; }
    // The application's debug messages, console messages left out.
    QStringList debug() const;
    QStringList warnings() const;
    QStringList console() const;
    int count(const QString &exactDebugText) const;

    static bool isConsoleMessage(const QString &text);

private:
    static void capture(QtMsgType type, const QMessageLogContext &context, const QString &text);

    QList<Entry> all;
    QtMessageHandler previous = nullptr;
    Echo echo;
};

#endif // MESSAGELOG_H
