#ifndef PROCESSMEMORY_H
#define PROCESSMEMORY_H

#include <QByteArray>
#include <QtGlobal>

// Memory of this process and the processes it started (a web engine's
// renderer and helper processes among them), from /proc.
namespace ProcessMemory {

// The sum of one field of /proc/<pid>/status over the tree, in KiB: "VmRSS"
// for what is resident now, "VmHWM" for the highest since the last reset.
// Memory that this process's malloc keeps for reuse is given back first.
qint64 treeKiB(const QByteArray &field = "VmRSS");
// Makes every process of the tree count its highest from now on.
bool resetPeaks();

} // namespace ProcessMemory

#endif // PROCESSMEMORY_H
