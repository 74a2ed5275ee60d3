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

} // namespace TestSupport
