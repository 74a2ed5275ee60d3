#ifndef ENGINEPROBE_H
#define ENGINEPROBE_H

// What a page suite asks of the engine it is linked with, beyond the page
// itself; each engine's folder of the test support answers it.
class QWidget;

namespace EngineProbe {

// What the probes need of the engine, before the application object exists.
void prepareProcess();

// Ends the process that renders the page, as a crash would; false where
// the engine renders in the program's own process.
bool killRenderer(QWidget *pageWidget);

// Frees what page script left for the engine's garbage collector, so a
// measurement starts from the page's live memory.
void collectGarbage();

} // namespace EngineProbe

#endif // ENGINEPROBE_H
