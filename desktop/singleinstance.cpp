#include "singleinstance.h"

#include "applicationadaptor.h"
#include "desktopintegration.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace {

const QString interface = QStringLiteral("org.freedesktop.Application");
// A running Melodrift busy starting up answers late, not never; one that
// has not answered by then is stuck.
const int answerWithinMs = 15000;

} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
    , serviceName(DesktopIntegration::desktopEntry())
{
    objectPath = QLatin1Char('/') + QString(serviceName).replace(QLatin1Char('.'), QLatin1Char('/'));
    objectPath.replace(QLatin1Char('-'), QLatin1Char('_'));
    new ApplicationAdaptor(this);
}

SingleInstance::~SingleInstance()
{
    if (!owned)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(serviceName);
    bus.unregisterObject(objectPath);
}

SingleInstance::Outcome SingleInstance::start(const QString &location)
{
    // Once more should the running one have ended between the two steps.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (claim())
            return Run;
        QString error = call(QStringLiteral("Activate"), {QVariantMap()});
        if (error.isEmpty() && !location.isEmpty())
            error = call(QStringLiteral("Open"), {QStringList{location}, QVariantMap()});
        if (error.isEmpty())
            return HandedOver;
        if (error != QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
            && error != QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
            failure = error;
            return Failed;
        }
    }
    failure = QStringLiteral("the running Melodrift ended while this one was starting");
    return Failed;
}

bool SingleInstance::claim()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Without one the desktop integration says so, once, as the window is built.
    if (!bus.isConnected())
        return true;
    // The object first: a later start's call may arrive the moment the name
    // is taken.
    if (!bus.registerObject(objectPath, this, QDBusConnection::ExportAdaptors)) {
        qCDebug(lcDesktop) << "Could not export" << objectPath << "- this Melodrift runs on its own";
        return true;
    }
    owned = bus.registerService(serviceName);
    if (owned)
        return true;
    bus.unregisterObject(objectPath);
    // A name taken is no error; any other refusal leaves this start on its own.
    const QDBusError error = bus.lastError();
    if (error.isValid()) {
        qCDebug(lcDesktop) << "The session bus refused" << serviceName << error.message();
        return true;
    }
    return false;
}

QString SingleInstance::call(const QString &method, const QVariantList &arguments)
{
    // A plain message: an interface object would first read the running
    // one's description, and wait for it without a time limit of its own.
    QDBusMessage message = QDBusMessage::createMethodCall(serviceName, objectPath, interface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, answerWithinMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return QString();
    if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
        || reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return reply.errorName();
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}
