#ifndef QTSCROLLPREPAREEVENT_H
#define QTSCROLLPREPAREEVENT_H

#include <QEvent>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

// Sent by a gesture scroller before it starts: the receiver fills in where it
// can scroll to and where it stands now.
class QtScrollPrepareEvent : public QEvent
{
public:
    enum { ScrollPrepareEventType = 15056 };

    explicit QtScrollPrepareEvent(const QPointF &startPosition);
    ~QtScrollPrepareEvent() override;

    QPointF startPosition() const;
    QSizeF viewportSize() const;
    QRectF contentRange() const;
    QPointF contentPosition() const;

    void setViewportSize(const QSizeF &size);
    void setContentRange(const QRectF &range);
    void setContentPosition(const QPointF &position);

private:
    Q_DISABLE_COPY(QtScrollPrepareEvent)
    struct Data;
    Data *d;
};

#endif // QTSCROLLPREPAREEVENT_H
