#include "mwebview.h"

#include "qtscrollevent.h"
#include "qtscrollprepareevent.h"

#include <QGestureEvent>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QWebFrame>
#include <QWebPage>

MWebView::MWebView(QGraphicsView *view)
    : QGraphicsWebView(nullptr)
    , hostView(view)
{
    view->scene()->addItem(this);
}

MWebView::~MWebView() = default;

bool MWebView::event(QEvent *e)
{
    switch (static_cast<int>(e->type())) {
    case QtScrollPrepareEvent::ScrollPrepareEventType:
        prepareScroll(e);
        return true;
    case QtScrollEvent::ScrollEventType:
        scrollTo(e);
        return true;
    default:
        return QGraphicsWebView::event(e);
    }
}

void MWebView::prepareScroll(QEvent *e)
{
    auto *prepare = static_cast<QtScrollPrepareEvent *>(e);
    QWebFrame *frame = page()->mainFrame();
    const QSizeF viewport = size();
    const QSize contents = frame->contentsSize();
    // A page smaller than the view cannot scroll: its range is empty, never negative.
    const qreal width = qMax<qreal>(0, contents.width() - viewport.width());
    const qreal height = qMax<qreal>(0, contents.height() - viewport.height());
    prepare->setViewportSize(viewport);
    prepare->setContentRange(QRectF(0, 0, width, height));
    prepare->setContentPosition(QPointF(frame->scrollPosition()));
    prepare->accept();
}

void MWebView::scrollTo(QEvent *e)
{
    const QPointF position = static_cast<QtScrollEvent *>(e)->contentPosition();
    page()->mainFrame()->setScrollPosition(QPoint(qRound(position.x()), qRound(position.y())));
}

bool MWebView::sceneEvent(QEvent *e)
{
    switch (e->type()) {
    case QEvent::TouchBegin:
        // Accepting the begin is what brings the rest of the touch sequence here.
        return true;
    case QEvent::Gesture:
        return gestureEvent(static_cast<QGestureEvent *>(e));
    default:
        return QGraphicsWebView::sceneEvent(e);
    }
}

void MWebView::contextMenuEvent(QGraphicsSceneContextMenuEvent *) { }

bool MWebView::gestureEvent(QGestureEvent *e)
{
    // Pinches are taken so they do not reach the page, but do not zoom it.
    return e->gesture(Qt::PinchGesture) != nullptr;
}
