#ifndef PAGECONTAINER_H
#define PAGECONTAINER_H

#include <QPointer>
#include <QWidget>

// The page's widget: holds the engine's view at its own size. What the host
// lays over the page (the title bar) is a child of this widget, in front of
// the view: as a child of the view it would never be seen, since Chromium's
// own widget inside the view covers every other child.
class PageContainer : public QWidget
{
    Q_OBJECT
public:
    explicit PageContainer(QWidget *parent);

    void setView(QWidget *view);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void childEvent(QChildEvent *event) override;

private:
    QPointer<QWidget> view;
};

#endif // PAGECONTAINER_H
