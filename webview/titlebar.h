#ifndef TITLEBAR_H
#define TITLEBAR_H

#include <QPoint>
#include <QTimer>
#include <QWidget>

class QTimeLine;

// The strip over the top of the page: the product name and, while a page
// loads, its progress; a second after loading stops it slides out of sight.
class TitleBar : public QWidget
{
    Q_OBJECT
public:
    explicit TitleBar(QWidget *parent);
    ~TitleBar() override;

    void setHost(const QString &host);
    void setTitle(const QString &title);
    void setProgress(int percent);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    void slide(int frame);

protected:
    void paintEvent(QPaintEvent *e) override;

private slots:
    void slotStartHiding();

private:
    void paintIdle(QPainter &painter, const QColor &text);
    void paintLoading(QPainter &painter, const QColor &text);

    QString title;
    int progress = 0;
    QTimeLine *timeLine;
    double opacity = 1.0;
    QPoint restPos{0, 0};
    QTimer hideTimer;
};

#endif // TITLEBAR_H
