#include "applicationadaptor.h"

#include "desktopintegration.h"
#include "singleinstance.h"
#include "urlrules.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace {

void refuse(const QDBusMessage &message, QDBusError::ErrorType type, const QString &text)
{
    message.setDelayedReply(true);
    QDBusConnection::sessionBus().send(message.createErrorReply(type, text));
}

} // namespace

ApplicationAdaptor::ApplicationAdaptor(SingleInstance *instance)
    : QDBusAbstractAdaptor(instance)
    , instance(instance)
{
}

void ApplicationAdaptor::Activate(const QVariantMap &)
{
    qCDebug(lcDesktop) << "Asked to come forward";
    emit instance->activated();
}

// The listening player plays one location at a time; any client on the bus
// may call, so it is checked here as the media controls' OpenUri checks it.
void ApplicationAdaptor::Open(const QStringList &uris, const QVariantMap &, const QDBusMessage &message)
{
    if (uris.size() != 1) {
        refuse(message, QDBusError::InvalidArgs,
               QStringLiteral("Melodrift plays one location at a time, not %1").arg(uris.size()));
        return;
    }
    if (!UrlRules::isWebMedia(uris.first())) {
        qCDebug(lcDesktop) << "Open refused, not an http or https location of up to 64 KiB";
        refuse(message, QDBusError::InvalidArgs, QStringLiteral("Melodrift opens only http and https locations"));
        return;
    }
    qCDebug(lcDesktop) << "Asked to play a location";
    emit instance->opened(QString::fromUtf8(QUrl(uris.first(), QUrl::StrictMode).toEncoded()));
}

void ApplicationAdaptor::ActivateAction(const QString &name, const QVariantList &, const QVariantMap &,
                                        const QDBusMessage &message)
{
    refuse(message, QDBusError::NotSupported, QStringLiteral("Melodrift has no action %1").arg(name.left(100)));
}
