#include "qtscrollevent.h"

struct QtScrollEvent::Data
{
    QPointF contentPosition;
    QPointF overshoot;
    QtScrollEvent::ScrollState state;
};

QtScrollEvent::QtScrollEvent(const QPointF &contentPosition, const QPointF &overshoot, ScrollState state)
    : QEvent(static_cast<QEvent::Type>(ScrollEventType))
    , d(new Data{contentPosition, overshoot, state})
{
}

QtScrollEvent::~QtScrollEvent()
{
    delete d;
    d = nullptr;
}

QPointF QtScrollEvent::contentPosition() const
{
    return d->contentPosition;
}
QPointF QtScrollEvent::overshoot() const
{
    return d->overshoot;
}
QtScrollEvent::ScrollState QtScrollEvent::scrollState() const
{
    return d->state;
}
