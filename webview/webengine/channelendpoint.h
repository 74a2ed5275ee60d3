#ifndef CHANNELENDPOINT_H
#define CHANNELENDPOINT_H

#include <QObject>
#include <QString>
#include <QVariantList>

// The one object on the page's web channel, reached only from the program's
// isolated world: every call page script makes on the published object
// comes through here, with the document it came from.
class ChannelEndpoint : public QObject
{
    Q_OBJECT
public:
    explicit ChannelEndpoint(QObject *parent);

    Q_INVOKABLE void call(const QString &document, const QString &name, const QVariantList &arguments);

signals:
    void called(const QString &document, const QString &name, const QVariantList &arguments);
};

#endif // CHANNELENDPOINT_H
