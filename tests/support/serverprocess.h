#ifndef SERVERPROCESS_H
#define SERVERPROCESS_H

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QUrl>

// A Python test server in a child process that, once it listens, prints the
// base URL of each of its listeners on a line of its own. Its standard error
// (the request log) goes to the test's output, where it helps. Stopped with
// this object.
class ServerProcess
{
public:
    ServerProcess();
    ~ServerProcess();

    // Runs python3 with these arguments and waits for `listeners` base URLs.
    // False when the server does not come up in time or a URL is not on
    // 127.0.0.1.
    bool start(const QStringList &arguments, int listeners, int timeoutMs);
    void stop();

    QUrl base(int listener = 0) const { return bases.value(listener); }

    // A blocking GET, for reading a server's own logs from a test.
    static QByteArray fetch(const QUrl &url);

private:
    QProcess process;
    QList<QUrl> bases;
};

#endif // SERVERPROCESS_H
