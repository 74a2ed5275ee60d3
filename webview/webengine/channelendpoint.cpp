#include "channelendpoint.h"

ChannelEndpoint::ChannelEndpoint(QObject *parent)
    : QObject(parent)
{
}

void ChannelEndpoint::call(const QString &document, const QString &name, const QVariantList &arguments)
{
    emit called(document, name, arguments);
}
