#include "engineprobe.h"

#include <QWebSettings>

namespace EngineProbe {

void prepareProcess() { }

bool killRenderer(QWidget *)
{
    return false;
}

void collectGarbage()
{
    // Also runs the script engine's collector.
    QWebSettings::clearMemoryCaches();
}

} // namespace EngineProbe
