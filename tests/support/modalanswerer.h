#ifndef MODALANSWERER_H
#define MODALANSWERER_H

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>

// Answers the application's modal dialogs as they open, in the order the test
// queued its answers, so no test waits on a dialog. Every dialog that opens is
// recorded: its window title, and a message box's text (prefixed "markup: "
// when the box would read it as rich text) or another dialog's title. One that opens when no answer is left gets the fallback answer,
// which by default declines it (a message box's escape button, a dialog's
// reject) and counts it as unexpected.
class ModalAnswerer : public QObject
{
public:
    using Answer = std::function<void(QWidget *)>;

    explicit ModalAnswerer(int intervalMs = 20);

    ModalAnswerer &then(const Answer &answer);
    // Clicks that standard button of a message box; any other dialog is
    // rejected and counted as unexpected.
    ModalAnswerer &then(QMessageBox::StandardButton button);
    // An answer for a dialog of class T; any other dialog is declined and
    // counted as unexpected.
    template <typename T>
    ModalAnswerer &then(const std::function<void(T *)> &answer)
    {
        return then([this, answer](QWidget *widget) {
            if (T *dialog = qobject_cast<T *>(widget))
                answer(dialog);
            else
                declineUnexpected(widget);
        });
    }
    // Replaces the default answer for dialogs beyond the queued ones.
    void otherwise(const Answer &answer) { fallback = answer; }

    int pending() const { return answers.size(); }
    // Every queued answer has been given and nothing unexpected opened.
    bool answeredAll() const { return answers.isEmpty() && unexpected == 0; }

    QStringList seen;
    QStringList titles;
    int unexpected = 0;

private:
    void poll();
    void declineUnexpected(QWidget *widget);

    QList<Answer> answers;
    Answer fallback;
    QPointer<QWidget> lastAnswered;
    QTimer timer;
};

#endif // MODALANSWERER_H
