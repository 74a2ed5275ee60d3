#ifndef WEBVIEWFINDER_H
#define WEBVIEWFINDER_H

#include <QGraphicsView>
#include <QGraphicsWebView>

namespace TestSupport {

// The web view item a page host shows. The host's member named scene hides
// QGraphicsView::scene(), so the base is asked.
inline QGraphicsWebView *webViewIn(QGraphicsView *host)
{
    for (QGraphicsItem *item : host->scene()->items()) {
        if (auto *web = dynamic_cast<QGraphicsWebView *>(item))
            return web;
    }
    return nullptr;
}

} // namespace TestSupport

#endif // WEBVIEWFINDER_H
