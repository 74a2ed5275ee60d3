#ifndef PAGEBRIDGE_H
#define PAGEBRIDGE_H

#include "pagetrust.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QVariantList>
#include <QWebChannel>

#include <functional>
#include <optional>

class ChannelEndpoint;
class QMetaMethod;
class WebEnginePage;

// The published object as page script under QtWebEngine sees it. Chromium
// runs page script in another process, so the object itself never enters
// the page: a script in the page's world defines a plain object of the same
// name with one function per public slot, but only in main-frame documents
// that the trust rule accepts, as judged by a script in the program's
// isolated world from the document's own address. Calls travel through a
// web channel that only that isolated world holds, and each is checked here
// again before its slot runs: it must come from the document shown now, and
// that document must be trusted.
class PageBridge : public QObject
{
    Q_OBJECT
public:
    PageBridge(WebEnginePage *page, QObject *parent);
    ~PageBridge() override;

    void publish(const QString &name, std::function<QObject *()> object, const PageTrust &trust);

private:
    struct Call
    {
        QString document;
        QString name;
        QVariantList arguments;
    };

    void installScripts(const QString &name, const QList<QPair<QString, int>> &pageInterface);
    void receive(const QString &document, const QString &name, const QVariantList &arguments);
    void verifyArrived();
    void verified(const QList<Call> &calls, const QVariant &shown);
    void runVerified();
    void dispatch(const Call &call);

    WebEnginePage *page;
    QWebChannel channel;
    ChannelEndpoint *endpoint;
    std::function<QObject *()> publishedObject;
    std::optional<PageTrust> trust;
    // What the scripts were last made from.
    QString published;

    QList<Call> arrived;
    QList<Call> ready;
    bool verifying = false;
    bool running = false;
};

#endif // PAGEBRIDGE_H
