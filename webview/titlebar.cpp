#include "titlebar.h"

#include <QPaintEvent>
#include <QPainter>
#include <QTimeLine>

TitleBar::TitleBar(QWidget *parent)
    : QWidget(parent)
    , hideTimer(nullptr)
{
    // One millisecond: the bar leaves at once rather than drifting away.
    timeLine = new QTimeLine(1, this);
    timeLine->setEasingCurve(QEasingCurve::InCurve);
    hideTimer.setSingleShot(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    connect(&hideTimer, &QTimer::timeout, this, &TitleBar::slotStartHiding);
    connect(timeLine, &QTimeLine::frameChanged, this, &TitleBar::slide);
}

TitleBar::~TitleBar() = default;

void TitleBar::setHost(const QString &)
{
    update();
}

void TitleBar::setTitle(const QString &)
{
    title = QStringLiteral("Melodrift");
    update();
}

void TitleBar::setProgress(int percent)
{
    progress = percent;
    if (percent != 0) {
        hideTimer.stop();
        move(restPos);
    } else {
        hideTimer.start(1000);
    }
    update();
}

void TitleBar::slotStartHiding()
{
    if (progress != 0 || timeLine->state() == QTimeLine::Running)
        return;
    timeLine->setFrameRange(restPos.y(), restPos.y() - height());
    timeLine->start();
}

void TitleBar::slide(int frame)
{
    move(restPos.x(), frame);
    update();
}

QSize TitleBar::minimumSizeHint() const
{
    return QSize(100, QFontMetrics(font()).height());
}

QSize TitleBar::sizeHint() const
{
    return minimumSizeHint();
}

void TitleBar::paintEvent(QPaintEvent *e)
{
    const QPalette pal = palette();
    QPainter painter(this);
    const QColor fill = pal.color(QPalette::Highlight);
    const QColor text = pal.color(QPalette::HighlightedText);
    if (progress <= 0) {
        painter.setOpacity(opacity);
        painter.fillRect(e->rect(), fill);
        paintIdle(painter, text);
    } else {
        painter.fillRect(e->rect(), fill);
        paintLoading(painter, text);
    }
}

void TitleBar::paintIdle(QPainter &painter, const QColor &text)
{
    painter.setPen(text);
    painter.drawText(QRect(QPoint(16, 0), QPoint(width() - 6, height() - 1)), Qt::AlignLeft | Qt::AlignVCenter, title);
}

void TitleBar::paintLoading(QPainter &painter, const QColor &text)
{
    const int w = width();
    const int h = height();
    painter.setPen(text);
    painter.setOpacity(0.8);
    painter.drawText(QRect(QPoint(16, 0), QPoint(w - 111, h - 1)), Qt::AlignLeft | Qt::AlignVCenter, title);

    painter.setOpacity(1.0);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(text);
    // A one-pixel pen strokes one pixel past a rectangle's size: without the
    // adjustment the box would be 101 by h - 3 pixels instead of 100 by h - 4.
    painter.drawRect(QRect(w - 105, 1, 100, h - 4).adjusted(0, 0, -1, -1));

    painter.setPen(Qt::NoPen);
    painter.setBrush(text);
    painter.drawRect(w - 105, 1, progress, h - 4);
}
