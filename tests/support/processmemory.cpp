#include "processmemory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QList>

#include <chrono>
#include <unistd.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace ProcessMemory {

namespace {

QByteArray readProc(qint64 pid, const char *file)
{
    QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

qint64 parentOf(qint64 pid)
{
    // The fourth field, after the command name in parentheses, which may hold blanks.
    const QByteArray stat = readProc(pid, "stat");
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.value(1).toLongLong();
}

QList<qint64> tree()
{
    QList<qint64> pids{QCoreApplication::applicationPid()};
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    QList<QPair<qint64, qint64>> parents;
    for (const QString &entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (number)
            parents.append({pid, parentOf(pid)});
    }
    for (int i = 0; i < pids.size(); ++i) {
        for (const auto &pair : qAsConst(parents)) {
            if (pair.second == pids.at(i))
                pids.append(pair.first);
        }
    }
    return pids;
}

// Its proportional share: pages it shares with others (libraries, and the
// shared memory a web engine hands data between its processes in) count
// once over the tree, not once in every process that maps them.
qint64 residentKiB(qint64 pid)
{
    for (const QByteArray &line : readProc(pid, "smaps_rollup").split('\n')) {
        if (line.startsWith("Pss:"))
            return line.mid(4).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

} // namespace

qint64 treeKiB(const QByteArray &field)
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    qint64 total = 0;
    for (const qint64 pid : tree()) {
        for (const QByteArray &line : readProc(pid, "status").split('\n')) {
            if (line.startsWith(field + ':'))
                total += line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return total;
}

bool resetPeaks()
{
    bool all = true;
    for (const qint64 pid : tree()) {
        QFile clear(QStringLiteral("/proc/%1/clear_refs").arg(pid));
        all = clear.open(QIODevice::WriteOnly) && clear.write("5") == 1 && all;
    }
    return all;
}

PeakSampler::PeakSampler()
    : worker([this] { run(); })
{
}

PeakSampler::~PeakSampler()
{
    stop();
}

qint64 PeakSampler::stop()
{
    stopping = true;
    if (worker.joinable())
        worker.join();
    return peak;
}

void PeakSampler::run()
{
    // Finding the tree reads all of /proc: the processes it holds are read
    // every few milliseconds, the tree itself again now and then, as a page
    // may get a new renderer.
    QList<qint64> pids;
    for (int round = 0; !stopping; ++round) {
        if (round % 20 == 0)
            pids = tree();
        qint64 total = 0;
        for (const qint64 pid : qAsConst(pids))
            total += residentKiB(pid);
        peak = qMax(peak, total);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace ProcessMemory
