#include "busstandin.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QtTest>

namespace {

struct Service
{
    QString name;
    QString path;
    QString interface;
};

Service serviceOf(BusStandIn::Kind kind)
{
    const Service services[] = {
        {QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
         QStringLiteral("org.freedesktop.ScreenSaver")},
        {QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
         QStringLiteral("org.freedesktop.portal.Inhibit")},
        {QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
         QStringLiteral("org.freedesktop.Notifications")},
        {QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
         QStringLiteral("org.kde.StatusNotifierWatcher")}};
    return services[kind];
}

bool addMethod(const Service &service, const QString &method, const QString &in, const QString &out,
               const QString &code)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        service.name, service.path, QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("AddMethod"));
    call << service.interface << method << in << out << code;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
    if (reply.type() == QDBusMessage::ErrorMessage)
        qWarning() << "dbusmock refused" << method << reply.errorMessage();
    return reply.type() != QDBusMessage::ErrorMessage;
}

} // namespace

BusStandIn::BusStandIn(Kind kind)
    : kind(kind)
{
}

BusStandIn::~BusStandIn()
{
    process.kill();
    process.waitForFinished(5000);
}

bool BusStandIn::start(int timeoutMs)
{
    const Service service = serviceOf(kind);
    // Debian's module is found by Debian's interpreter only.
    QStringList arguments{QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--session")};
    if (kind == Notifications)
        arguments << QStringLiteral("-t") << QStringLiteral("notification_daemon");
    else if (kind == TrayWatcher)
        arguments << QStringLiteral("-t")
                  << QStringLiteral(MELODRIFT_SOURCE_DIR "/tests/support/statusnotifierwatcher.py");
    else
        arguments << service.name << service.path << service.interface;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("/usr/bin/python3"), arguments);
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    if (!bus || !QTest::qWaitFor([&] { return bus->isServiceRegistered(service.name).value(); }, timeoutMs))
        return false;
    switch (kind) {
    case ScreenSaver:
        return addMethod(service, QStringLiteral("Inhibit"), QStringLiteral("ss"), QStringLiteral("u"),
                         QStringLiteral("self.cookies = getattr(self, 'cookies', 0) + 1\nret = self.cookies"))
               && addMethod(service, QStringLiteral("UnInhibit"), QStringLiteral("u"), QString(), QString());
    case Portal:
        return addMethod(
            service, QStringLiteral("Inhibit"), QStringLiteral("sua{sv}"), QStringLiteral("o"),
            QStringLiteral(
                "self.requests = getattr(self, 'requests', 0) + 1\n"
                "ret = dbus.ObjectPath('/org/freedesktop/portal/desktop/request/melodrift/%d' % self.requests)\n"
                "self.AddObject(ret, 'org.freedesktop.portal.Request', {}, [('Close', '', '', '')])"));
    case Notifications:
    case TrayWatcher:
        break;
    }
    return true;
}

QStringList BusStandIn::calls(const QString &method)
{
    // Each line: a time stamp, the method, its arguments.
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        const int space = line.indexOf(' ');
        if (space > 0)
            received.append(QString::fromUtf8(line.mid(space + 1)));
    }
    if (method.isEmpty())
        return received;
    return received.filter(QRegularExpression(QStringLiteral("^%1( |$)").arg(method)));
}
