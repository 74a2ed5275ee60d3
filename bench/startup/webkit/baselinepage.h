#ifndef BASELINEPAGE_H
#define BASELINEPAGE_H

#include <QWebPage>

// A stock page that also writes page script's console messages to standard
// error, so the driver can time both programs on the same line of the page.
class BaselinePage : public QWebPage
{
    Q_OBJECT
public:
    explicit BaselinePage(QObject *parent);

protected:
    void javaScriptConsoleMessage(const QString &message, int lineNumber, const QString &sourceID) override;
};

#endif // BASELINEPAGE_H
