#ifndef COMPOSITOR_H
#define COMPOSITOR_H

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>

#include <functional>

// A headless Weston for one test process, the program's Wayland display:
// started before the application object (Qt picks its platform then) and
// stopped with this object. Screenshots come from the compositor, the only
// place a Wayland client's pixels can be read back.
class Compositor
{
public:
    ~Compositor();

    // Starts it in $XDG_RUNTIME_DIR (made under scratch when the session
    // gives none) and points QT_QPA_PLATFORM and WAYLAND_DISPLAY at it.
    // Why it could not, or nothing.
    QString start(const QString &scratch);
    void stop();

    // The whole output as the compositor shows it; a null image when the
    // compositor gave none (lastError() says why).
    QImage screenshot();
    QString lastError() const { return error; }
    QString log() const;

    // Where two shots of the same output differ within an area: the bounding box.
    static QRect changedArea(const QImage &before, const QImage &after, const QRect &within);
    // The bounding box of area's pixels for which matches is true.
    static QRect bounds(const QImage &image, const QRect &area, const std::function<bool(QRgb)> &matches);
    // The share of area's pixels for which matches is true.
    static double share(const QImage &image, const QRect &area, const std::function<bool(QRgb)> &matches);
    // Within tolerance of colour in each channel.
    static bool near(QRgb pixel, QRgb colour, int tolerance);

private:
    QProcess weston;
    QString scratchDir;
    QString logFile;
    QString error;
    int shots = 0;
};

#endif // COMPOSITOR_H
