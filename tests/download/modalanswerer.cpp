#include "modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>

ModalAnswerer::ModalAnswerer()
{
    connect(&timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer.start(20);
}

ModalAnswerer &ModalAnswerer::then(const Answer &answer)
{
    answers << answer;
    return *this;
}

ModalAnswerer &ModalAnswerer::then(QMessageBox::StandardButton button)
{
    return then([button](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (box && box->button(button))
            box->button(button)->click();
        else if (auto *dialog = qobject_cast<QDialog *>(widget))
            dialog->reject(); // the test's check on `seen` reports the mismatch
    });
}

void ModalAnswerer::poll()
{
    QWidget *widget = QApplication::activeModalWidget();
    if (!widget || widget == lastAnswered)
        return;
    lastAnswered = widget;
    auto *box = qobject_cast<QMessageBox *>(widget);
    // Names and messages of the page and the server are never shown as
    // markup: a box that would is recorded so that no expected text matches.
    seen << (box ? (box->textFormat() == Qt::PlainText ? QString() : QStringLiteral("markup: ")) + box->text()
                 : widget->windowTitle());
    if (answers.isEmpty()) {
        ++unexpected;
        if (auto *dialog = qobject_cast<QDialog *>(widget))
            dialog->reject();
        return;
    }
    answers.takeFirst()(widget);
}
