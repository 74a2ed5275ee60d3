#ifndef DIRECTEVALUATION_H
#define DIRECTEVALUATION_H

// The engine's floor for a lookup answer: each engine's folder runs a script
// in the page's main frame by the engine's own call, past the program's seam
// and its checks, as a program without the bridge would.
class QString;
class QWidget;

namespace DirectEvaluation {

// Runs script in the main frame of the page shown in pageWidget, whenever
// the engine gets to it; false if no page of this engine is found there.
bool run(QWidget *pageWidget, const QString &script);

} // namespace DirectEvaluation

#endif // DIRECTEVALUATION_H
