#ifndef LOOKUPSERVICE_H
#define LOOKUPSERVICE_H

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>

class QNetworkReply;

// The page's lookups: plain GETs of the addresses the page passes, on an
// access manager of their own (not the page's), each answered to the page as
// a call of its process_youtube or process_ajax. Any number may run at once,
// within bounds on their count, size and stalls, and each is answered once.
class LookupService : public QObject
{
    Q_OBJECT
public:
    enum Kind { Youtube, Nokia };
    // Hands a finished answer's script to the page, what names it for the
    // debug output when it cannot be delivered. The script is handed over
    // whole, so no copy of it outlives its evaluation.
    using Delivery = std::function<void(QString script, const char *what)>;

    explicit LookupService(Delivery deliver, QObject *parent = nullptr);
    ~LookupService() override;

    void start(const QString &location, Kind kind);
    void endLatest(Kind kind);

private:
    void answerLater(Kind kind);
    int pendingCount();
    QNetworkReply *latestPending(Kind kind);
    void checkSize(QNetworkReply *reply, Kind kind);
    void collect(QNetworkReply *reply, Kind kind);
    void answer(QNetworkReply *reply, Kind kind);
    void endLookup(QNetworkReply *reply, Kind kind);
    void answerPage(Kind kind, QByteArray body, const QUrl &source = QUrl());

    QNetworkAccessManager networkManager;
    Delivery deliver;
    // Every lookup still running, oldest first, so two lookups at once are
    // each answered and a handler called from script finds the latest of its kind.
    QList<QPointer<QNetworkReply>> pendingLookups[2];
    // What each lookup has received. Kept here because Qt drops a reply's
    // buffer when its transfer timeout aborts it.
    QHash<QNetworkReply *, QByteArray> received;
};

#endif // LOOKUPSERVICE_H
