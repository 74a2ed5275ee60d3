#include "lookupservice.h"

#include "browserlog.h"
#include "scriptstring.h"
#include "urlrules.h"

#include <QDebug>
#include <QNetworkReply>

namespace {

// Bounds on what the page can make the application fetch and hold for it.
const int maxAnswerBytes = 64 * 1024 * 1024;
const int maxAnswerScriptChars = 64 * 1024 * 1024;
const int maxPendingLookups = 32;
const int lookupStallMs = 60 * 1000;

// Escaped, a byte can cost six characters of script, and the engine copies
// the script again: the bound is on what the page is handed, not on bytes.
bool costsTooMuch(qint64 scriptChars, const QUrl &source)
{
    if (scriptChars <= maxAnswerScriptChars)
        return false;
    qCDebug(lcBrowser) << "Lookup answered empty, its answer as script text is larger than 64 Mi characters:"
                       << source.toString();
    return true;
}

QString youtubeScript(const QByteArray &body, const QUrl &source)
{
    QLatin1String text = ScriptString::answerView(body);
    qint64 cost = ScriptString::literalLength(text);
    if (costsTooMuch(cost, source)) {
        text = QLatin1String();
        cost = 0;
    }
    const QLatin1String head("process_youtube(");
    QString script;
    script.reserve(head.size() + int(cost) + 3);
    script.append(head);
    ScriptString::appendLiteral(script, text);
    script += QLatin1Char(')');
    return script;
}

QString ajaxScript(const QByteArray &body, const QUrl &source)
{
    // Built in place: answers can be many megabytes, and every
    // intermediate copy of one costs as much as its evaluation.
    QByteArray base64 = body.toBase64();
    if (costsTooMuch(base64.size(), source))
        base64.clear();
    const QLatin1String head("process_ajax(window.atob('");
    const QLatin1String tail("') );");
    QString script;
    script.reserve(head.size() + base64.size() + tail.size());
    script.append(head).append(QLatin1String(base64)).append(tail);
    return script;
}

} // namespace

LookupService::LookupService(Delivery deliver, QObject *parent)
    : QObject(parent)
    , networkManager(nullptr)
    , deliver(std::move(deliver))
{
}

LookupService::~LookupService()
{
    // The access manager goes with this object; no reply may answer a page
    // host that is being torn down.
    for (QNetworkReply *reply : networkManager.findChildren<QNetworkReply *>())
        reply->disconnect(this);
}

void LookupService::start(const QString &location, Kind kind)
{
    const QUrl url(location);
    if (!UrlRules::isWeb(url)) {
        qCDebug(lcBrowser) << "Lookup refused, not an http or https URL:" << location;
        answerLater(kind);
        return;
    }
    if (pendingCount() >= maxPendingLookups) {
        qCDebug(lcBrowser) << "Lookup answered empty:" << maxPendingLookups
                           << "lookups are pending already:" << location;
        answerLater(kind);
        return;
    }
    QNetworkRequest request(url);
    // Qt aborts a transfer that stands still this long.
    request.setTransferTimeout(lookupStallMs);
    QNetworkReply *reply = networkManager.get(request);
    pendingLookups[kind].append(reply);
    received.insert(reply, QByteArray());
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply, kind] { checkSize(reply, kind); });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply, kind] { collect(reply, kind); });
    connect(reply, &QNetworkReply::finished, this, [this, reply, kind] { answer(reply, kind); });
}

// Answered later, as a request that failed at once would be, so the page
// never sees its callback run inside its own call.
void LookupService::answerLater(Kind kind)
{
    QMetaObject::invokeMethod(this, [this, kind] { answerPage(kind, QByteArray()); }, Qt::QueuedConnection);
}

int LookupService::pendingCount()
{
    pendingLookups[Youtube].removeAll(nullptr);
    pendingLookups[Nokia].removeAll(nullptr);
    return pendingLookups[Youtube].size() + pendingLookups[Nokia].size();
}

QNetworkReply *LookupService::latestPending(Kind kind)
{
    QList<QPointer<QNetworkReply>> &pending = pendingLookups[kind];
    pending.removeAll(nullptr);
    return pending.isEmpty() ? nullptr : pending.last().data();
}

void LookupService::checkSize(QNetworkReply *reply, Kind kind)
{
    const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    if (announced > maxAnswerBytes) {
        qCDebug(lcBrowser) << "Lookup answered empty, its answer is larger than 64 MiB:" << reply->url().toString();
        endLookup(reply, kind);
        answerPage(kind, QByteArray());
    } else if (announced > 0 && received.value(reply).isEmpty()) {
        received[reply].reserve(int(announced));
    }
}

void LookupService::collect(QNetworkReply *reply, Kind kind)
{
    QByteArray &body = received[reply];
    const qint64 available = reply->bytesAvailable();
    if (body.size() + available > maxAnswerBytes) {
        qCDebug(lcBrowser) << "Lookup answered empty, its answer is larger than 64 MiB:" << reply->url().toString();
        endLookup(reply, kind);
        answerPage(kind, QByteArray());
        return;
    }
    const int had = body.size();
    body.resize(had + int(available));
    body.resize(had + int(qMax<qint64>(reply->read(body.data() + had, available), 0)));
}

// Called by page script: the latest lookup of this kind still running ends
// now, with what it has received.
void LookupService::endLatest(Kind kind)
{
    if (QNetworkReply *reply = latestPending(kind))
        answer(reply, kind);
}

void LookupService::answer(QNetworkReply *reply, Kind kind)
{
    QByteArray body = received.take(reply);
    if (reply->isOpen())
        body += reply->readAll();
    // Only Qt's transfer timeout cancels a lookup that is still connected here.
    if (!reply->isRunning() && reply->error() == QNetworkReply::OperationCanceledError)
        qCDebug(lcBrowser) << "Lookup made no progress for 60 s, answered with the" << body.size()
                           << "bytes that arrived:" << reply->url().toString();
    const QUrl source = reply->url();
    endLookup(reply, kind);
    answerPage(kind, std::move(body), source);
}

// A reply answered early must not answer again.
void LookupService::endLookup(QNetworkReply *reply, Kind kind)
{
    disconnect(reply, nullptr, this, nullptr);
    pendingLookups[kind].removeAll(reply);
    received.remove(reply);
    if (reply->isRunning())
        reply->abort();
    reply->deleteLater();
}

void LookupService::answerPage(Kind kind, QByteArray body, const QUrl &source)
{
    // The answer's bytes are let go before the engine makes its own copies.
    const bool youtube = kind == Youtube;
    QString script = youtube ? youtubeScript(body, source) : ajaxScript(body, source);
    body = QByteArray();
    deliver(std::move(script), youtube ? "process_youtube" : "process_ajax");
}
