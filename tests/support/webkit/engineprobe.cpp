#include "engineprobe.h"

#include <QWebSettings>

namespace EngineProbe {

void prepareProcess() { }

void collectGarbage()
{
    // Also runs the script engine's collector.
    QWebSettings::clearMemoryCaches();
}

} // namespace EngineProbe
