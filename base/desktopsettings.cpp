#include "desktopsettings.h"

#include <QSettings>

#include <cmath>

namespace {

const QString group = QStringLiteral("Desktop/");

QVariant value(const char *key, const QVariant &fallback = QVariant())
{
    return QSettings().value(group + QLatin1String(key), fallback);
}

void setValue(const char *key, const QVariant &value)
{
    QSettings().setValue(group + QLatin1String(key), value);
}

} // namespace

namespace DesktopSettings {

bool notificationsEnabled()
{
    return value("notifications", true).toBool();
}

void setNotificationsEnabled(bool enabled)
{
    setValue("notifications", enabled);
}

bool keepRunningInTray()
{
    return value("keepRunningInTray", false).toBool();
}

void setKeepRunningInTray(bool keep)
{
    setValue("keepRunningInTray", keep);
}

bool hasVolume()
{
    return QSettings().contains(group + QLatin1String("volume"));
}

// A file edited by hand or damaged may hold anything: what is not a number
// means the default, full volume, and never silence.
qreal volume()
{
    bool ok = false;
    const double volume = value("volume", 1.0).toDouble(&ok);
    return ok && std::isfinite(volume) ? qBound(0.0, volume, 1.0) : 1.0;
}

void setVolume(qreal volume)
{
    setValue("volume", volume);
}

// Any text but "false" would read as true: only what setMuted() writes mutes.
bool muted()
{
    const QString text = value("muted", false).toString().toLower();
    return text == QLatin1String("true") || text == QLatin1String("1");
}

void setMuted(bool muted)
{
    setValue("muted", muted);
}

} // namespace DesktopSettings
