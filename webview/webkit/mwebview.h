#ifndef MWEBVIEW_H
#define MWEBVIEW_H

#include <QGraphicsWebView>

class QGestureEvent;
class QGraphicsView;

// The page's web view: places itself in its view's scene, answers a gesture
// scroller's scroll events, takes whole touch sequences and never shows the
// page's own context menu.
class MWebView : public QGraphicsWebView
{
    Q_OBJECT
public:
    explicit MWebView(QGraphicsView *view);
    ~MWebView() override;

    bool event(QEvent *e) override;

protected:
    bool sceneEvent(QEvent *e) override;
    void contextMenuEvent(QGraphicsSceneContextMenuEvent *e) override;

private:
    bool gestureEvent(QGestureEvent *e);
    void prepareScroll(QEvent *e);
    void scrollTo(QEvent *e);

    QGraphicsView *hostView;
};

#endif // MWEBVIEW_H
