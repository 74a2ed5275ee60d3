#ifndef APPLICATIONADAPTOR_H
#define APPLICATIONADAPTOR_H

#include <QDBusAbstractAdaptor>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

class QDBusMessage;
class SingleInstance;

// org.freedesktop.Application, the desktop's way to bring forward a running
// program and hand it files: what a later start of Melodrift calls.
class ApplicationAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    explicit ApplicationAdaptor(SingleInstance *instance);

public slots:
    void Activate(const QVariantMap &platformData);
    void Open(const QStringList &uris, const QVariantMap &platformData, const QDBusMessage &message);
    void ActivateAction(const QString &name, const QVariantList &parameter, const QVariantMap &platformData,
                        const QDBusMessage &message);

private:
    SingleInstance *instance;
};

#endif // APPLICATIONADAPTOR_H
