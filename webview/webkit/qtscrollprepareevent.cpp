#include "qtscrollprepareevent.h"

struct QtScrollPrepareEvent::Data
{
    QPointF startPosition;
    QSizeF viewportSize{-1, -1};
    QRectF contentRange{0, 0, 0, 0};
    QPointF contentPosition{0, 0};
};

QtScrollPrepareEvent::QtScrollPrepareEvent(const QPointF &startPosition)
    : QEvent(static_cast<QEvent::Type>(ScrollPrepareEventType))
    , d(new Data)
{
    d->startPosition = startPosition;
}

QtScrollPrepareEvent::~QtScrollPrepareEvent()
{
    delete d;
    d = nullptr;
}

// The accessors read as a table.
// clang-format off
QPointF QtScrollPrepareEvent::startPosition() const { return d->startPosition; }
QSizeF QtScrollPrepareEvent::viewportSize() const { return d->viewportSize; }
QRectF QtScrollPrepareEvent::contentRange() const { return d->contentRange; }
QPointF QtScrollPrepareEvent::contentPosition() const { return d->contentPosition; }

void QtScrollPrepareEvent::setViewportSize(const QSizeF &size) { d->viewportSize = size; }
void QtScrollPrepareEvent::setContentRange(const QRectF &range) { d->contentRange = range; }
void QtScrollPrepareEvent::setContentPosition(const QPointF &position) { d->contentPosition = position; }
// clang-format on
