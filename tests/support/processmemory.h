#ifndef PROCESSMEMORY_H
#define PROCESSMEMORY_H

#include <QByteArray>
#include <QtGlobal>

#include <atomic>
#include <thread>

// Memory of this process and the processes it started (a web engine's
// renderer and helper processes among them), from /proc.
namespace ProcessMemory {

// The sum of one field of /proc/<pid>/status over the tree, in KiB: "VmRSS"
// for what is resident now, "VmHWM" for the highest since the last reset.
// Memory that this process's malloc keeps for reuse is given back first.
qint64 treeKiB(const QByteArray &field = "VmRSS");
// Makes every process of the tree count its highest from now on.
bool resetPeaks();

// The highest resident total of the tree while it lives (each process's
// proportional share, so that memory two of them share counts once),
// sampled every few milliseconds from a thread of its own. A web engine with processes of its
// own has each of them peak at its own moment: the sum of their highest
// ("VmHWM") counts memory that was never all in use at once.
class PeakSampler
{
public:
    PeakSampler();
    ~PeakSampler();
    PeakSampler(const PeakSampler &) = delete;
    PeakSampler &operator=(const PeakSampler &) = delete;

    // Stops sampling: the highest total seen, in KiB.
    qint64 stop();

private:
    void run();

    std::atomic<bool> stopping{false};
    qint64 peak = 0;
    std::thread worker;
};

} // namespace ProcessMemory

#endif // PROCESSMEMORY_H
