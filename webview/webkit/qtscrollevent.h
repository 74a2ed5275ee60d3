#ifndef QTSCROLLEVENT_H
#define QTSCROLLEVENT_H

#include <QEvent>
#include <QPointF>

// Sent by a gesture scroller for each step: the content position it wants shown.
class QtScrollEvent : public QEvent
{
public:
    enum { ScrollEventType = 15057 };
    enum ScrollState { ScrollStarted, ScrollUpdated, ScrollFinished };

    QtScrollEvent(const QPointF &contentPosition, const QPointF &overshoot, ScrollState state);
    ~QtScrollEvent() override;

    QPointF contentPosition() const;
    QPointF overshoot() const;
    ScrollState scrollState() const;

private:
    Q_DISABLE_COPY(QtScrollEvent)
    struct Data;
    Data *d;
};

#endif // QTSCROLLEVENT_H
