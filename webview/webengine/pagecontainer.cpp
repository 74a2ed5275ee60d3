#include "pagecontainer.h"

#include <QChildEvent>
#include <QResizeEvent>

PageContainer::PageContainer(QWidget *parent)
    : QWidget(parent)
{
}

void PageContainer::setView(QWidget *view)
{
    this->view = view;
    view->setGeometry(rect());
    view->lower();
}

void PageContainer::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (view)
        view->setGeometry(QRect(QPoint(0, 0), event->size()));
}

// Whatever is laid over the page stays in front of it, whenever it was made.
void PageContainer::childEvent(QChildEvent *event)
{
    QWidget::childEvent(event);
    if (event->type() == QEvent::ChildPolished && view)
        view->lower();
}
