#include "modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>

ModalAnswerer::ModalAnswerer(int intervalMs)
{
    connect(&timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer.start(intervalMs);
}

ModalAnswerer &ModalAnswerer::then(const Answer &answer)
{
    answers << answer;
    return *this;
}

ModalAnswerer &ModalAnswerer::then(QMessageBox::StandardButton button)
{
    return then([this, button](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (box && box->button(button))
            box->button(button)->click();
        else
            declineUnexpected(widget); // the test's check on `seen` names the mismatch
    });
}

void ModalAnswerer::declineUnexpected(QWidget *widget)
{
    ++unexpected;
    auto *box = qobject_cast<QMessageBox *>(widget);
    if (box && box->escapeButton())
        box->escapeButton()->click();
    else if (auto *dialog = qobject_cast<QDialog *>(widget))
        dialog->reject();
}

void ModalAnswerer::poll()
{
    QWidget *widget = QApplication::activeModalWidget();
    // Answering may close a dialog only on the next turn of the event loop.
    if (!widget || !widget->isVisible() || widget == lastAnswered)
        return;
    lastAnswered = widget;
    auto *box = qobject_cast<QMessageBox *>(widget);
    // Names and messages of a page, a server or a back end are never shown
    // as markup: a box that would is recorded so that no expected text matches.
    const QString markup = box && box->textFormat() != Qt::PlainText ? QStringLiteral("markup: ") : QString();
    seen << (box ? markup + box->text() : widget->windowTitle());
    titles << widget->windowTitle();
    if (!answers.isEmpty())
        answers.takeFirst()(widget);
    else if (fallback)
        fallback(widget);
    else
        declineUnexpected(widget);
}
