#ifndef HARDENING_H
#define HARDENING_H

// Checks shared by the bad-input suites: what a case wrote to disk.

#include <QSet>
#include <QString>
#include <QStringList>

namespace Hardening {

// Every file and folder under root, as paths relative to it. Caches are left
// out: the web engine and the back ends fill them on their own schedule.
QSet<QString> snapshot(const QString &root);

// What appeared under root since `before`, sorted.
QStringList appearedSince(const QSet<QString> &before, const QString &root);

// Files whose names hold marker anywhere the application could stray to:
// the temporary folder (two levels down), the working folder and the source
// tree's top, skipping the test's own temporary root. Hostile inputs carry
// the marker in every name they try to write.
QStringList strayFiles(const QString &marker, const QString &ownRoot);

} // namespace Hardening

#endif // HARDENING_H
