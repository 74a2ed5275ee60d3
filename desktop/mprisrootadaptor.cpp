#include "mprisrootadaptor.h"

#include "desktopintegration.h"
#include "mprisservice.h"
#include "urlrules.h"

MprisRootAdaptor::MprisRootAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service)
    , service(service)
{
}

QString MprisRootAdaptor::identity() const
{
    return QStringLiteral("Melodrift");
}

QString MprisRootAdaptor::desktopEntry() const
{
    return DesktopIntegration::desktopEntry();
}

QStringList MprisRootAdaptor::supportedUriSchemes() const
{
    return UrlRules::webSchemes();
}

QStringList MprisRootAdaptor::supportedMimeTypes() const
{
    return service->supportedMimeTypes();
}

void MprisRootAdaptor::Quit()
{
    emit service->quitRequested();
}

void MprisRootAdaptor::Raise()
{
    emit service->raiseRequested();
}
