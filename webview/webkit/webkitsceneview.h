#ifndef WEBKITSCENEVIEW_H
#define WEBKITSCENEVIEW_H

#include <QGraphicsScene>
#include <QGraphicsView>

class MWebPage;
class MWebView;

// The page host as QtWebKit shows the page: a graphics view whose scene holds
// the touch web view item, kept at the view's size, with the application's
// web page installed in it.
class WebKitSceneView : public QGraphicsView
{
    Q_OBJECT
public:
    explicit WebKitSceneView(QWidget *parent);
    ~WebKitSceneView() override;

    MWebView *webView() const { return web; }
    MWebPage *webPage() const { return page; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void matchPageToScreen();

    QGraphicsScene scene;
    MWebView *web = nullptr;
    MWebPage *page = nullptr;
};

#endif // WEBKITSCENEVIEW_H
