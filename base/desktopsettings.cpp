#include "desktopsettings.h"

#include <QSettings>

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

bool hasVolume()
{
    return QSettings().contains(group + QLatin1String("volume"));
}

qreal volume()
{
    return qBound(0.0, value("volume", 1.0).toDouble(), 1.0);
}

void setVolume(qreal volume)
{
    setValue("volume", volume);
}

bool muted()
{
    return value("muted", false).toBool();
}

void setMuted(bool muted)
{
    setValue("muted", muted);
}

} // namespace DesktopSettings
