#include "directevaluation.h"

#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

namespace DirectEvaluation {

bool run(QWidget *pageWidget, const QString &script)
{
    auto *view = pageWidget->findChild<QWebEngineView *>();
    if (!view)
        return false;
    view->page()->runJavaScript(script, QWebEngineScript::MainWorld);
    return true;
}

} // namespace DirectEvaluation
