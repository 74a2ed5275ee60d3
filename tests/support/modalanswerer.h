#ifndef MODALANSWERER_H
#define MODALANSWERER_H

#include <QApplication>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers the next modal widget of type T that opens: polls for it and runs
// the answer on it once. Create it before the call that opens the modal
// widget; answered() tells afterwards whether one was seen.
template <typename T>
class ModalAnswerer
{
public:
    explicit ModalAnswerer(std::function<void(T *)> answer, int intervalMs = 50)
        : reply(std::move(answer))
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            T *widget = qobject_cast<T *>(QApplication::activeModalWidget());
            if (!widget || !widget->isVisible())
                return;
            timer.stop();
            seen = true;
            reply(widget);
        });
        timer.start(intervalMs);
    }

    bool answered() const { return seen; }

private:
    std::function<void(T *)> reply;
    QTimer timer;
    bool seen = false;
};

#endif // MODALANSWERER_H
