#ifndef MWEBPAGE_H
#define MWEBPAGE_H

#include <QWebPage>

// The chart page: presents the identity the chart service expects and passes
// page script's console messages to the debug output.
class MWebPage : public QWebPage
{
    Q_OBJECT
public:
    explicit MWebPage(QObject *parent);
    ~MWebPage() override;

    static QString consoleMessageText(const QString &message, int lineNumber, const QString &sourceID);

protected:
    void javaScriptConsoleMessage(const QString &message, int lineNumber, const QString &sourceID) override;
    QString userAgentForUrl(const QUrl &url) const override;
};

#endif // MWEBPAGE_H
