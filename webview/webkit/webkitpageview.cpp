#include "webkitpageview.h"

#include "mwebpage.h"
#include "mwebview.h"
#include "webkitsceneview.h"

#include <QWebFrame>
#include <QWebSettings>
#include <QtWebKitWidgets/qtwebkitwidgetsversion.h>

PageView *PageView::create(QWidget *parent)
{
    return new WebKitPageView(parent);
}

QString PageView::engineName()
{
    return QStringLiteral("QtWebKit " QTWEBKITWIDGETS_VERSION_STR);
}

void PageView::prepareProcess() { }

WebKitPageView::WebKitPageView(QWidget *parent)
    : PageView(parent)
    , view(new WebKitSceneView(parent))
{
    // For every page of the process; set again for each, which changes nothing.
    QWebSettings *settings = QWebSettings::globalSettings();
    settings->setAttribute(QWebSettings::JavascriptEnabled, true);
    settings->setAttribute(QWebSettings::PluginsEnabled, true);

    MWebView *web = view->webView();
    connect(web, &QGraphicsWebView::loadStarted, this, &PageView::loadStarted);
    connect(web, &QGraphicsWebView::loadProgress, this, &PageView::loadProgress);
    connect(web, &QGraphicsWebView::loadFinished, this, &PageView::loadFinished);
    connect(web->page()->mainFrame(), &QWebFrame::javaScriptWindowObjectCleared, this,
            &WebKitPageView::windowObjectCleared);
}

WebKitPageView::~WebKitPageView() = default;

QWidget *WebKitPageView::widget() const
{
    return view;
}

void WebKitPageView::load(const QUrl &url)
{
    view->webView()->setUrl(url);
}

void WebKitPageView::showErrorPage(const QString &html, const QUrl &address)
{
    view->webView()->setHtml(html, address);
}

QUrl WebKitPageView::url() const
{
    return view->webPage()->mainFrame()->url();
}

QString WebKitPageView::title() const
{
    return view->webView()->title();
}

bool WebKitPageView::mainFrameUnreachable() const
{
    return view->webPage()->mainFrameUnreachable();
}

void WebKitPageView::publish(const QString &name, std::function<QObject *()> object, const PageTrust &trust)
{
    publishedName = name;
    publishedObject = std::move(object);
    this->trust = trust;
    publishInDocumentShown();
}

// The engine clears the window object when a new document arrives, with the
// frame's address already the new document's; whatever was published is gone.
void WebKitPageView::windowObjectCleared()
{
    emit documentChanged();
    publishInDocumentShown();
}

void WebKitPageView::publishInDocumentShown()
{
    if (!publishedObject || !trust->trusts(url()))
        return;
    view->webPage()->mainFrame()->addToJavaScriptWindowObject(publishedName, publishedObject());
}

// The engine runs script at once, in the document shown.
void WebKitPageView::evaluate(QString script, const std::function<void(const QVariant &)> &done)
{
    const QVariant result = view->webPage()->mainFrame()->evaluateJavaScript(script);
    if (done)
        done(result);
}
