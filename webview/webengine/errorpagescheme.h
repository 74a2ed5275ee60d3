#ifndef ERRORPAGESCHEME_H
#define ERRORPAGESCHEME_H

#include <QByteArray>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

// Serves the error page at its own address, in the scheme PageTrust names
// for it: a document of its own that no network page can load, link or
// frame, and that nothing else of the scheme answers to.
class ErrorPageScheme : public QWebEngineUrlSchemeHandler
{
    Q_OBJECT
public:
    explicit ErrorPageScheme(QObject *parent);

    // Before the application object exists, as the engine wants its schemes.
    static void registerScheme();
    static QByteArray name();

    // The page served at address from now on; any other address fails.
    void serve(const QUrl &address, const QString &html);

    void requestStarted(QWebEngineUrlRequestJob *job) override;

private:
    QUrl address;
    QByteArray html;
};

#endif // ERRORPAGESCHEME_H
