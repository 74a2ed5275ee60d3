#include "webkitsceneview.h"

#include "mwebpage.h"
#include "mwebview.h"

#include <QResizeEvent>
#include <QWebFrame>

WebKitSceneView::WebKitSceneView(QWidget *parent)
    : QGraphicsView(parent)
    , scene(nullptr)
{
    setScene(&scene);
    setFrameShape(QFrame::NoFrame);
    // The item places itself in the scene, so the scene is set first.
    web = new MWebView(this);
    page = new MWebPage(web);
    page->setPalette(QPalette(Qt::black));
    page->mainFrame()->setScrollBarPolicy(Qt::Horizontal, Qt::ScrollBarAlwaysOff);
    web->setPage(page);
    matchPageToScreen();
}

WebKitSceneView::~WebKitSceneView() = default;

void WebKitSceneView::resizeEvent(QResizeEvent *event)
{
    // The plain widget handler: the graphics view's own would move the scene.
    QWidget::resizeEvent(event);
    const int w = event->size().width();
    const int h = event->size().height();
    setSceneRect(QRectF(0, 0, w, h));
    web->setPos(0, 0);
    web->resize(QSizeF(w, h));
    // So the page lays out at the view's size.
    page->setPreferredContentsSize(QSize(w, h));
}

void WebKitSceneView::matchPageToScreen()
{
    // QtWebKit leaves a page in a graphics scene at one device pixel per CSS
    // pixel, whatever the screen's scale: its scripts and style sheets would
    // then pick images too small for the pixels the window really has.
    page->setDevicePixelRatio(devicePixelRatioF());
}
