#include "compositor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <climits>
#include <cstdlib>

Compositor::~Compositor()
{
    stop();
}

QString Compositor::start(const QString &scratch)
{
    scratchDir = scratch;
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty()) {
        // Weston refuses to start without one, and must never use a real one.
        runtime = scratch + QStringLiteral("/runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    }
    const QString socket = QStringLiteral("melodrift-wayland-%1").arg(QCoreApplication::applicationPid());
    logFile = scratch + QStringLiteral("/weston.log");
    // Each flag is needed: pixman (headless renders nothing without a
    // renderer and screenshots hang), the debug protocol (screenshots are
    // refused without it), no idle time (the output sleeps after five
    // minutes and screenshots hang), no config (nothing of the user's).
    weston.setProcessChannelMode(QProcess::MergedChannels);
    weston.setStandardOutputFile(scratch + QStringLiteral("/weston.out"));
    weston.start(QStringLiteral("weston"),
                 {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--socket=") + socket,
                  QStringLiteral("--use-pixman"), QStringLiteral("--width=1280"), QStringLiteral("--height=1024"),
                  QStringLiteral("--idle-time=0"), QStringLiteral("--debug"), QStringLiteral("--no-config"),
                  QStringLiteral("--log=") + logFile});
    if (!weston.waitForStarted(10000))
        return QStringLiteral("weston did not start: ") + weston.errorString();
    const QString path = runtime + QLatin1Char('/') + socket;
    for (int waited = 0; !QFileInfo::exists(path); waited += 50) {
        if (weston.state() != QProcess::Running || waited > 20000)
            return QStringLiteral("weston made no socket %1:\n%2").arg(path, log());
        QThread::msleep(50);
    }
    qputenv("WAYLAND_DISPLAY", QFile::encodeName(path));
    qputenv("QT_QPA_PLATFORM", "wayland");
    return QString();
}

void Compositor::stop()
{
    if (weston.state() == QProcess::NotRunning)
        return;
    weston.terminate();
    if (!weston.waitForFinished(10000)) {
        weston.kill();
        weston.waitForFinished(5000);
    }
}

QString Compositor::log() const
{
    QFile file(logFile);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

QImage Compositor::screenshot()
{
    // The screenshooter names its file after the time; a folder of its own
    // per shot leaves no doubt which one it wrote.
    const QString dir = scratchDir + QStringLiteral("/shot-%1").arg(++shots);
    QDir().mkpath(dir);
    QProcess shooter;
    shooter.setWorkingDirectory(dir);
    shooter.setProcessChannelMode(QProcess::MergedChannels);
    shooter.start(QStringLiteral("weston-screenshooter"), QStringList());
    if (!shooter.waitForFinished(15000)) {
        shooter.kill();
        shooter.waitForFinished(2000);
        error = QStringLiteral("weston-screenshooter did not finish");
        return QImage();
    }
    const QStringList files = QDir(dir).entryList({QStringLiteral("*.png")}, QDir::Files);
    if (shooter.exitCode() != 0 || files.size() != 1) {
        error = QStringLiteral("weston-screenshooter failed (%1): %2")
                    .arg(shooter.exitCode())
                    .arg(QString::fromLocal8Bit(shooter.readAll()));
        return QImage();
    }
    QImage image(dir + QLatin1Char('/') + files.first());
    if (image.isNull())
        error = QStringLiteral("unreadable screenshot ") + files.first();
    return image.convertToFormat(QImage::Format_RGB32);
}

QRect Compositor::changedArea(const QImage &before, const QImage &after, const QRect &within)
{
    if (before.size() != after.size())
        return within & after.rect();
    const QRect inside = within & after.rect();
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        const auto *a = reinterpret_cast<const QRgb *>(before.constScanLine(y));
        const auto *b = reinterpret_cast<const QRgb *>(after.constScanLine(y));
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (!near(a[x], b[x], 8)) {
                left = qMin(left, x);
                right = qMax(right, x);
                top = qMin(top, y);
                bottom = qMax(bottom, y);
            }
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

QRect Compositor::bounds(const QImage &image, const QRect &area, const std::function<bool(QRgb)> &matches)
{
    const QRect inside = area & image.rect();
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (matches(image.pixel(x, y))) {
                left = qMin(left, x);
                right = qMax(right, x);
                top = qMin(top, y);
                bottom = qMax(bottom, y);
            }
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

double Compositor::share(const QImage &image, const QRect &area, const std::function<bool(QRgb)> &matches)
{
    const QRect inside = area & image.rect();
    if (inside.isEmpty())
        return 0;
    qint64 count = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (matches(image.pixel(x, y)))
                ++count;
        }
    }
    return double(count) / (qint64(inside.width()) * inside.height());
}

bool Compositor::near(QRgb pixel, QRgb colour, int tolerance)
{
    return std::abs(qRed(pixel) - qRed(colour)) <= tolerance && std::abs(qGreen(pixel) - qGreen(colour)) <= tolerance
           && std::abs(qBlue(pixel) - qBlue(colour)) <= tolerance;
}
