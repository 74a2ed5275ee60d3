#include "pagescript.h"

#include <QPointer>
#include <QtTest>

#include <memory>

namespace TestSupport {

QVariant evaluate(PageView *page, const QString &script, int timeoutMs)
{
    // Shared with the callback, which may come after a timeout let this go.
    auto result = std::make_shared<QVariant>();
    auto arrived = std::make_shared<bool>(false);
    page->evaluate(script, [result, arrived](const QVariant &value) {
        *result = value;
        *arrived = true;
    });
    if (!*arrived)
        (void)QTest::qWaitFor([&arrived] { return *arrived; }, timeoutMs);
    return *result;
}

bool waitForPage(const std::function<bool()> &question, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!question()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

QStringList evaluateTexts(PageView *page, const QString &expression, int timeoutMs)
{
    const QVariantList escaped =
        evaluate(page,
                 QStringLiteral("[].concat(%1).map(function (t) {"
                                " return typeof t === 'string' ? escape(t) : '<not a string: ' + typeof t + '>'; })")
                     .arg(expression),
                 timeoutMs)
            .toList();
    QStringList texts;
    for (const QVariant &item : escaped) {
        const QString text = item.toString();
        if (text.startsWith(QLatin1Char('<'))) {
            texts.append(text);
            continue;
        }
        // escape() writes %XX for a unit below 256 and %uXXXX above.
        QString decoded;
        decoded.reserve(text.size());
        for (int i = 0; i < text.size(); ++i) {
            if (text.at(i) != QLatin1Char('%')) {
                decoded.append(text.at(i));
                continue;
            }
            const bool wide = text.midRef(i + 1, 1) == QLatin1String("u");
            const int digits = wide ? 4 : 2;
            const int start = i + (wide ? 2 : 1);
            decoded.append(QChar(text.midRef(start, digits).toUShort(nullptr, 16)));
            i = start + digits - 1;
        }
        texts.append(decoded);
    }
    return texts;
}

void click(PageView *page, const QPoint &at, Qt::MouseButton button, Qt::KeyboardModifiers modifiers)
{
    QWidget *host = page->widget();
    QWidget *target = host->childAt(at);
    if (!target)
        target = host;
    QTest::mouseClick(target, button, modifiers, target->mapFrom(host, at));
}

} // namespace TestSupport
