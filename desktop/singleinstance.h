#ifndef SINGLEINSTANCE_H
#define SINGLEINSTANCE_H

#include <QObject>
#include <QString>

// One Melodrift per session bus. The first start owns the application's name
// there (its desktop id, org.freedesktop.Application on the matching object
// path); a later start finds it, asks it to come forward and to play its
// address, and ends. Decided before any window or media control exists, so
// that a later start never shows either. Without a session bus, or where the
// bus refuses the name, each start is on its own.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    enum Outcome {
        Run,        // this start is the one: it runs, and serves the later ones
        HandedOver, // the running one was asked; this start ends
        Failed,     // a running one holds the name but did not answer (errorString())
    };

    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the name, or hands the running Melodrift an empty or an http(s)
    // `location` (checked there again: any client may call).
    Outcome start(const QString &location);
    QString errorString() const { return failure; }

signals:
    // From later starts, or any client on the bus.
    void activated();
    void opened(const QString &location);

private:
    bool claim();
    // The error's name, empty when the running one answered.
    QString call(const QString &method, const QVariantList &arguments);

    QString serviceName;
    QString objectPath;
    bool owned = false;
    QString failure;
};

#endif // SINGLEINSTANCE_H
