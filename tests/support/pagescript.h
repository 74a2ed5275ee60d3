#ifndef PAGESCRIPT_H
#define PAGESCRIPT_H

#include "engineprobe.h"
#include "pageview.h"
#include "testenvironment.h"

#include <QString>
#include <QVariant>

#include <functional>

namespace TestSupport {

// Runs script in the page's main frame through the engine's own evaluation
// and waits for its result: at once under QtWebKit, a few turns of the event
// loop later under QtWebEngine. An invalid QVariant when none came in time.
QVariant evaluate(PageView *page, const QString &script, int timeoutMs = 30000);

// Until the question, which asks the page, answers true: asked every 50 ms,
// not on every turn of the event loop as QTest::qWaitFor would. Under
// QtWebEngine each question is a round trip to the page's process, and
// asking without a pause keeps that process answering instead of loading
// the page or running its script (a page suite took twice as long).
bool waitForPage(const std::function<bool()> &question, int timeoutMs);

// The strings an expression gives, code unit for code unit: an array's
// items, or the one value. QtWebEngine passes strings on as UTF-8 that ends
// at a zero character, so they travel escaped. Anything but a string shows
// as a marker that no expected text equals.
QStringList evaluateTexts(PageView *page, const QString &expression, int timeoutMs = 30000);

// A click of the mouse as the user makes it, at a point of the page's
// widget, on whichever widget of the engine's takes it there.
void click(PageView *page, const QPoint &at, Qt::MouseButton button = Qt::LeftButton,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier);

} // namespace TestSupport

// MELODRIFT_TEST_MAIN for suites that load pages: the engine prepares the
// process before the application object exists, as main() has it do.
#define MELODRIFT_PAGE_TEST_MAIN(TestObject)     \
    int main(int argc, char **argv)              \
    {                                            \
        TestEnvironment env;                     \
        TestSupport::setEnvironment(&env);       \
        EngineProbe::prepareProcess();           \
        PageView::prepareProcess();              \
        QApplication app(argc, argv);            \
        app.setAttribute(Qt::AA_Use96Dpi, true); \
        TestObject tc;                           \
        QTEST_SET_MAIN_SOURCE_PATH               \
        return QTest::qExec(&tc, argc, argv);    \
    }

#endif // PAGESCRIPT_H
