#ifndef PAGESCRIPT_H
#define PAGESCRIPT_H

#include "pageview.h"
#include "testenvironment.h"

#include <QString>
#include <QVariant>

namespace TestSupport {

// Runs script in the page's main frame through the engine's own evaluation
// and waits for its result: at once under QtWebKit, a few turns of the event
// loop later under QtWebEngine. An invalid QVariant when none came in time.
QVariant evaluate(PageView *page, const QString &script, int timeoutMs = 30000);

} // namespace TestSupport

// MELODRIFT_TEST_MAIN for suites that load pages: the engine prepares the
// process before the application object exists, as main() has it do.
#define MELODRIFT_PAGE_TEST_MAIN(TestObject)     \
    int main(int argc, char **argv)              \
    {                                            \
        TestEnvironment env;                     \
        TestSupport::setEnvironment(&env);       \
        PageView::prepareProcess();              \
        QApplication app(argc, argv);            \
        app.setAttribute(Qt::AA_Use96Dpi, true); \
        TestObject tc;                           \
        QTEST_SET_MAIN_SOURCE_PATH               \
        return QTest::qExec(&tc, argc, argv);    \
    }

#endif // PAGESCRIPT_H
