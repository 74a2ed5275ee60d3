#include "directevaluation.h"

#include <QGraphicsScene>
#include <QGraphicsView>
#include <QGraphicsWebView>
#include <QWebFrame>
#include <QWebPage>

namespace DirectEvaluation {

bool run(QWidget *pageWidget, const QString &script)
{
    // The QtWebKit page host is a graphics view holding the web view item.
    auto *host = qobject_cast<QGraphicsView *>(pageWidget);
    for (QGraphicsItem *item : host && host->scene() ? host->scene()->items() : QList<QGraphicsItem *>()) {
        if (auto *webView = dynamic_cast<QGraphicsWebView *>(item)) {
            webView->page()->mainFrame()->evaluateJavaScript(script);
            return true;
        }
    }
    return false;
}

} // namespace DirectEvaluation
