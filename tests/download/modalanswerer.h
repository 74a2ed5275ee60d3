#ifndef MODALANSWERER_H
#define MODALANSWERER_H

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>

// Answers the application's modal dialogs in the order the test expects them.
// Each dialog that appears is recorded (a message box by its text, any other
// dialog by its window title); one that appears with no answer queued is
// counted as unexpected and rejected, so a test never hangs on it.
class ModalAnswerer : public QObject
{
public:
    using Answer = std::function<void(QWidget *)>;

    ModalAnswerer();

    ModalAnswerer &then(const Answer &answer);
    ModalAnswerer &then(QMessageBox::StandardButton button);

    int pending() const { return answers.size(); }

    QStringList seen;
    int unexpected = 0;

private:
    void poll();

    QList<Answer> answers;
    QPointer<QWidget> lastAnswered;
    QTimer timer;
};

#endif // MODALANSWERER_H
