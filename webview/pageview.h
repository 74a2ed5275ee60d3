#ifndef PAGEVIEW_H
#define PAGEVIEW_H

#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <functional>

class PageTrust;
class QWidget;

// The chart page as a web engine shows it: the one seam between the program
// and the engine it was built with. Everything that names an engine class
// lives behind it, in that engine's folder; the page host, the bridge, the
// lookups and the rest of the program see only this.
class PageView : public QObject
{
    Q_OBJECT
public:
    // Made by the engine the program was built with, its widget a child of parent.
    static PageView *create(QWidget *parent);
    // Which engine that is, with its version ("QtWebKit 5.212.0").
    static QString engineName();
    // What the engine needs before the application object exists. Every
    // page it makes has page script and plug-ins switched on.
    static void prepareProcess();

    // The identity the page presents to servers and to its own script, the
    // same under every engine: the chart service serves its pages to it. The
    // unclosed parenthesis and the trailing blank are part of it.
    static QString userAgent();
    // A console message of page script as the debug output shows it.
    static QString consoleMessageText(const QString &message, int lineNumber, const QString &sourceID);

    // The widget that shows the page. The host sizes it; a child widget laid
    // over it (the title bar) stays on top of the page.
    virtual QWidget *widget() const = 0;

    virtual void load(const QUrl &url) = 0;
    // Shows html as a document of its own at address, replacing the page.
    virtual void showErrorPage(const QString &html, const QUrl &address) = 0;

    // The address of the document the main frame shows now: what trust is
    // judged on.
    virtual QUrl url() const = 0;
    virtual QString title() const = 0;
    // Whether the main frame's latest load failed for want of the network:
    // the server unreachable or the connection lost. Not a load that page
    // script or the user stopped, a javascript: navigation, content the
    // engine does not show, nor a frame inside the page that failed; the
    // engines report every one of those as a failed load too.
    virtual bool mainFrameUnreachable() const = 0;

    // Page script of every main-frame document that trust accepts sees the
    // object as `name`, with the object's public slots and nothing else of
    // it; other documents, their frames and any window they open see
    // nothing. The engine judges each new document and, where calls arrive
    // after the fact, each call again. object() gives the object to publish,
    // made anew if it is gone. Called again, it publishes again in the
    // document shown now.
    virtual void publish(const QString &name, std::function<QObject *()> object, const PageTrust &trust) = 0;

    // Runs script in the document the main frame shows now, and nowhere else:
    // if another document is shown by the time the engine gets to it, it does
    // not run. done, if given, gets the result, now or on a later turn of the
    // event loop depending on the engine. Taken whole: a lookup's answer can
    // make a script of 128 MiB, and each copy of it counts.
    virtual void evaluate(QString script, const std::function<void(const QVariant &)> &done = {}) = 0;

signals:
    void loadStarted();
    void loadProgress(int percent);
    void loadFinished(bool ok);
    // A new document in the main frame: whether it holds the published
    // object may differ from the last one's.
    void documentChanged();

protected:
    using QObject::QObject;
};

#endif // PAGEVIEW_H
