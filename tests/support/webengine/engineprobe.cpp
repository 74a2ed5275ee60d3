#include "engineprobe.h"

#include <QApplication>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QtTest>

#include <memory>

#include <csignal>

namespace EngineProbe {

// Page script cannot ask Chromium's collector to run: the renderers of a
// page suite get V8's gc() for collectGarbage(). Chromium reads its
// switches from this variable, when it is set, and then only from it.
void prepareProcess()
{
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--expose-gc"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags + " --js-flags=--expose-gc");
}

bool killRenderer(QWidget *pageWidget)
{
    auto *view = pageWidget->findChild<QWebEngineView *>();
    const qint64 pid = view ? view->page()->renderProcessPid() : 0;
    return pid > 0 && ::kill(pid_t(pid), SIGKILL) == 0;
}

void collectGarbage()
{
    auto pending = std::make_shared<int>(0);
    for (QWidget *widget : QApplication::allWidgets()) {
        auto *view = qobject_cast<QWebEngineView *>(widget);
        if (!view)
            continue;
        ++*pending;
        view->page()->runJavaScript(QStringLiteral("typeof gc === 'function' && gc()"),
                                    QWebEngineScript::ApplicationWorld, [pending](const QVariant &) { --*pending; });
    }
    (void)QTest::qWaitFor([pending] { return *pending == 0; }, 5000);
}

} // namespace EngineProbe
