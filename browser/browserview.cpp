#include "browserview.h"

#include "httpwindow.h"
#include "mediaplayer.h"
#include "mwebpage.h"
#include "mwebview.h"
#include "paths.h"
#include "playerbridge.h"
#include "scriptstring.h"
#include "titlebar.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QNetworkReply>
#include <QResizeEvent>
#include <QSaveFile>
#include <QTextStream>
#include <QTimer>
#include <QWebFrame>
#include <QWebPage>

namespace {

// Evaluated in the page when a player is done: the page moves to its next item.
const char nextItemScript[] = "player(ge('var').value-(-1),1);";

// Bounds on what the page can make the application fetch and hold for it.
const int maxAnswerBytes = 64 * 1024 * 1024;
const int maxPendingLookups = 32;
const int lookupStallMs = 60 * 1000;

bool isLookupAllowed(const QUrl &url)
{
    // Anything but the web (file:, qrc:, data: ...) could hand local
    // content to page script.
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

bool isOutsideLink(const QUrl &url)
{
    // The desktop runs whatever handler a scheme names: local files would be
    // executed, script and data URLs rendered, and on Windows schemes such as
    // ms-msdt start programs. Only web and mail addresses leave.
    static const QStringList schemes{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("ftp"),
                                     QStringLiteral("mailto")};
    return url.isValid() && schemes.contains(url.scheme().toLower());
}

// What the page may hand to a player or to the desktop's player: a network
// location and nothing else. Local files, devices and capture schemes
// (fd://, v4l2://, screen:// ...) would give the page the machine's own
// content; a line break would add entries to the playlist.
bool isNetworkMedia(const QString &location)
{
    static const QStringList schemes{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("rtsp"),
                                     QStringLiteral("mms"), QStringLiteral("mmsh")};
    for (const QChar c : location) {
        if (c.category() == QChar::Other_Control)
            return false;
    }
    const QUrl url(location);
    return url.isValid() && schemes.contains(url.scheme().toLower()) && !url.host().isEmpty();
}

} // namespace

BrowserView::BrowserView(QWidget *parent)
    : QGraphicsView(parent)
    , networkManager(nullptr)
    , scene(nullptr)
    , trust(PageTrust::fromEnvironment())
{
    setScene(&scene);
    titleBar = new TitleBar(this);
    setFrameShape(QFrame::NoFrame);
    setupWebView();
    loadStartPage();
    // Loading the player's back end holds the GUI thread for about as long
    // as the engine takes to show the chart page, so the page goes first
    // (listeningPlayer() makes the player sooner for whoever needs it).
    // Queued, so that the load's own handlers run before it.
    connect(webView, &QGraphicsWebView::loadFinished, this, &BrowserView::prepareListeningPlayer, Qt::QueuedConnection);
}

BrowserView::~BrowserView()
{
    // The access manager outlives the scene; no reply may reach a page that is gone.
    for (QNetworkReply *reply : networkManager.findChildren<QNetworkReply *>())
        reply->disconnect(this);
}

QString BrowserView::errorPage()
{
    const QString indent = QStringLiteral("        ");
    const QString start = Paths::startPageUrl().toString();
    // One line per line of the page's source.
    // clang-format off
    return QStringLiteral("\t") + indent + QStringLiteral("<html>")
           + QStringLiteral("\t\t") + indent
           + QStringLiteral("<body onload='' style='background:black;color:white;'>")
           + QStringLiteral("\t\t\t") + indent + tr("Check your internet connection!")
           + QStringLiteral("<br><br>")
           + QStringLiteral("\t\t\t") + indent + QStringLiteral("<a style='color:white;' href='") + start
           + QStringLiteral("'>") + tr("Try again") + QStringLiteral("</a>")
           + QStringLiteral("\t\t") + indent + QStringLiteral("</body>")
           + QStringLiteral("\t") + indent + QStringLiteral("</html>");
    // clang-format on
}

void BrowserView::setupWebView()
{
    webView = new MWebView(this);
    connect(webView, &QGraphicsWebView::loadStarted, this, &BrowserView::start);
    connect(webView, &QGraphicsWebView::loadProgress, this, &BrowserView::setProgress);
    connect(webView, &QGraphicsWebView::loadFinished, this, &BrowserView::finish);

    auto *page = new MWebPage(webView);
    page->setPalette(QPalette(Qt::black));
    page->mainFrame()->setScrollBarPolicy(Qt::Horizontal, Qt::ScrollBarAlwaysOff);
    webView->setPage(page);
}

void BrowserView::loadStartPage()
{
    webView->setUrl(Paths::startPageUrl());
    QWebFrame *frame = webView->page()->mainFrame();
    connect(frame, &QWebFrame::javaScriptWindowObjectCleared, this, &BrowserView::windowObjectCleared);
    connect(frame, &QWebFrame::loadStarted, this, &BrowserView::mainFrameLoadStarted);
}

// The engine clears the window object when a new page's document arrives,
// with the frame's URL already that of the new page.
void BrowserView::windowObjectCleared()
{
    emit pageChanged();
    if (holdsChartPage()) {
        withheldFrom.clear();
        addJSObject();
        return;
    }
    const QUrl url = webView->page()->mainFrame()->url();
    const QString site = url.host().isEmpty() ? url.toString(QUrl::RemovePath | QUrl::RemoveQuery) : url.host();
    if (site != withheldFrom) {
        withheldFrom = site;
        qDebug() << "Player withheld from a page outside the chart service:" << site;
    }
}

void BrowserView::addJSObject()
{
    if (!holdsChartPage())
        return;
    // Page script can delete the bridge (deleteLater is QObject's); the next
    // page gets a fresh one.
    if (!bridge)
        bridge = new PlayerBridge(this);
    webView->page()->mainFrame()->addToJavaScriptWindowObject(QStringLiteral("Player"), bridge);
}

bool BrowserView::holdsChartPage() const
{
    return errorPageShown || trust.trusts(webView->page()->mainFrame()->url());
}

void BrowserView::mainFrameLoadStarted()
{
    if (!loadingErrorPage)
        errorPageShown = false;
}

void BrowserView::start()
{
    progress = 0;
}

void BrowserView::setProgress(int percent)
{
    progress = percent;
    updateTitleBar();
}

void BrowserView::finish(bool ok)
{
    progress = 0;
    updateTitleBar();
    if (!ok) {
        // The error page is known by this flag, never by its empty address,
        // which other pages can have too. The engine loads it within setHtml.
        errorPageShown = true;
        loadingErrorPage = true;
        webView->setHtml(errorPage(), QUrl());
        loadingErrorPage = false;
    }
}

void BrowserView::updateTitleBar()
{
    const QUrl url = webView->url();
    titleBar->setHost(url.host());
    titleBar->setTitle(webView->title());
    titleBar->setProgress(progress);
}

void BrowserView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int w = event->size().width();
    const int h = event->size().height();
    setSceneRect(QRectF(0, 0, w, h));
    titleBar->resize(w, titleBar->sizeHint().height());
    if (webView) {
        webView->setPos(0, 0);
        webView->resize(QSizeF(w, h));
        webView->page()->setPreferredContentsSize(QSize(w, h));
    }
    if (mediaPlayer)
        mediaPlayer->resize(QSize(w, h));
}

void BrowserView::prepareListeningPlayer()
{
    listeningPlayer();
}

MediaPlayer *BrowserView::listeningPlayer()
{
    if (firstPlayer)
        return firstPlayer;
    firstPlayer = new MediaPlayer(nullptr);
    connect(firstPlayer, &MediaPlayer::play_finished, this, &BrowserView::closeMedia);
    if (!mediaPlayer) {
        mediaPlayer = firstPlayer;
        // As resizeEvent would have sized it, had it been there.
        if (testAttribute(Qt::WA_Resized))
            mediaPlayer->resize(size());
    }
    emit playerCreated(firstPlayer);
    return firstPlayer;
}

MediaPlayer *BrowserView::currentPlayer()
{
    return mediaPlayer ? mediaPlayer.data() : listeningPlayer();
}

void BrowserView::evaluateInChartPage(const QString &script, const char *what)
{
    if (!holdsChartPage()) {
        qDebug() << "Dropped" << what
                 << "- the page shown now does not hold Player:" << webView->page()->mainFrame()->url().host();
        return;
    }
    webView->page()->mainFrame()->evaluateJavaScript(script);
}

// Lookups -----------------------------------------------------------------

void BrowserView::request_youtube(QString request_youtube)
{
    startLookup(request_youtube, YoutubeLookup);
}

void BrowserView::search_song_nokia(QString song_name)
{
    startLookup(song_name, NokiaLookup);
}

void BrowserView::startLookup(const QString &location, LookupKind kind)
{
    const QUrl url(location);
    if (!isLookupAllowed(url)) {
        qDebug() << "Lookup refused, not an http or https URL:" << location;
        answerLater(kind);
        return;
    }
    if (pendingCount() >= maxPendingLookups) {
        qDebug() << "Lookup answered empty:" << maxPendingLookups << "lookups are pending already:" << location;
        answerLater(kind);
        return;
    }
    QNetworkRequest request(url);
    // Qt aborts a transfer that stands still this long.
    request.setTransferTimeout(lookupStallMs);
    QNetworkReply *reply = networkManager.get(request);
    pendingReply = reply;
    pendingLookups[kind].append(reply);
    received.insert(reply, QByteArray());
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply, kind] { checkSize(reply, kind); });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply, kind] { collect(reply, kind); });
    connect(reply, &QNetworkReply::finished, this, [this, reply, kind] { answer(reply, kind); });
}

// Answered later, as a request that failed at once would be, so the page
// never sees its callback run inside its own call.
void BrowserView::answerLater(LookupKind kind)
{
    QMetaObject::invokeMethod(
        this, [this, kind] { answerPage(kind, QByteArray()); }, Qt::QueuedConnection);
}

int BrowserView::pendingCount()
{
    pendingLookups[YoutubeLookup].removeAll(nullptr);
    pendingLookups[NokiaLookup].removeAll(nullptr);
    return pendingLookups[YoutubeLookup].size() + pendingLookups[NokiaLookup].size();
}

QNetworkReply *BrowserView::latestPending(LookupKind kind)
{
    QList<QPointer<QNetworkReply>> &pending = pendingLookups[kind];
    pending.removeAll(nullptr);
    return pending.isEmpty() ? nullptr : pending.last().data();
}

void BrowserView::checkSize(QNetworkReply *reply, LookupKind kind)
{
    const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    if (announced > maxAnswerBytes) {
        qDebug() << "Lookup answered empty, its answer is larger than 64 MiB:" << reply->url().toString();
        endLookup(reply, kind);
        answerPage(kind, QByteArray());
    } else if (announced > 0 && received.value(reply).isEmpty()) {
        received[reply].reserve(int(announced));
    }
}

void BrowserView::collect(QNetworkReply *reply, LookupKind kind)
{
    QByteArray &body = received[reply];
    const qint64 available = reply->bytesAvailable();
    if (body.size() + available > maxAnswerBytes) {
        qDebug() << "Lookup answered empty, its answer is larger than 64 MiB:" << reply->url().toString();
        endLookup(reply, kind);
        answerPage(kind, QByteArray());
        return;
    }
    const int had = body.size();
    body.resize(had + int(available));
    body.resize(had + int(qMax<qint64>(reply->read(body.data() + had, available), 0)));
}

void BrowserView::httpFinished()
{
    // Called by page script: the latest lookup of this kind still running
    // ends now, with what it has received.
    if (QNetworkReply *reply = latestPending(YoutubeLookup))
        answer(reply, YoutubeLookup);
}

void BrowserView::httpFinished_nokia()
{
    if (QNetworkReply *reply = latestPending(NokiaLookup))
        answer(reply, NokiaLookup);
}

void BrowserView::answer(QNetworkReply *reply, LookupKind kind)
{
    QByteArray body = received.take(reply);
    if (reply->isOpen())
        body += reply->readAll();
    // Only Qt's transfer timeout cancels a lookup that is still connected here.
    if (!reply->isRunning() && reply->error() == QNetworkReply::OperationCanceledError)
        qDebug() << "Lookup made no progress for 60 s, answered with the" << body.size()
                 << "bytes that arrived:" << reply->url().toString();
    endLookup(reply, kind);
    answerPage(kind, body);
}

// A reply answered early must not answer again.
void BrowserView::endLookup(QNetworkReply *reply, LookupKind kind)
{
    disconnect(reply, nullptr, this, nullptr);
    pendingLookups[kind].removeAll(reply);
    received.remove(reply);
    if (pendingReply == reply)
        pendingReply = nullptr;
    if (reply->isRunning())
        reply->abort();
    reply->deleteLater();
}

void BrowserView::answerPage(LookupKind kind, const QByteArray &body)
{
    if (kind == YoutubeLookup) {
        QString script = QStringLiteral("process_youtube(");
        ScriptString::appendLiteral(script, ScriptString::answerView(body));
        script += QLatin1Char(')');
        evaluateInChartPage(script, "process_youtube");
    } else {
        // Built in place: answers can be many megabytes, and every
        // intermediate copy of one costs as much as its evaluation.
        const QByteArray base64 = body.toBase64();
        const QLatin1String head("process_ajax(window.atob('");
        const QLatin1String tail("') );");
        QString script;
        script.reserve(head.size() + base64.size() + tail.size());
        script.append(head).append(QLatin1String(base64)).append(tail);
        evaluateInChartPage(script, "process_ajax");
    }
}

void BrowserView::launchMarket(QString location)
{
    const QUrl url(location);
    if (!isOutsideLink(url)) {
        qDebug() << "Link refused, not a web address:" << location;
        return;
    }
    QDesktopServices::openUrl(url);
}

void BrowserView::exit()
{
    QCoreApplication::exit(0);
}

// Media -------------------------------------------------------------------

void BrowserView::showMedia(QUrl url)
{
    const QString location = url.toString();
    if (!isNetworkMedia(location)) {
        qDebug() << "Media refused, not a network location:" << location;
        return;
    }
    qDebug() << "Video play: " << location;
    // The hidden player always comes first, as the desktop's controls expect.
    listeningPlayer();
    MediaPlayer *previous = mediaPlayer;
    auto *player = new MediaPlayer(nullptr);
    mediaPlayer = player;
    player->playLocation(location);
    player->resize(width(), height());
    player->move(0, 0);
    connect(player, &MediaPlayer::done, this, &BrowserView::closeMedia);
    connect(player, &MediaPlayer::done, this, [this, player] { releaseIfIdle(player); });
    connect(player, &MediaPlayer::shownStateChanged, this, [this, player] { releaseIfIdle(player); });
    player->showFullScreen();
    emit playerCreated(player);
    releaseIfIdle(previous);
}

// A player that is no longer current and plays nothing only sits under the
// current one: it is closed and goes, so that a page showing video after
// video does not pile up players. The hidden first one stays, for the
// page's songs and the desktop's controls.
void BrowserView::releaseIfIdle(MediaPlayer *player)
{
    if (!player || player == mediaPlayer || player == firstPlayer || !player->isIdle())
        return;
    // A closed one is on its way already.
    if (!player->isVisible())
        return;
    player->close();
    // Phonon's GStreamer back end still delivers messages for a source a
    // moment after it has stopped; the player goes once they are in.
    QTimer::singleShot(1000, player, &QObject::deleteLater);
}

void BrowserView::showMedia(const QString &url)
{
    showMedia(QUrl(url));
}

void BrowserView::play_link(QString location)
{
    if (!isNetworkMedia(location)) {
        qDebug() << "Media refused, not a network location:" << location;
        return;
    }
    currentPlayer()->playLocation(location);
}

void BrowserView::stop()
{
    currentPlayer()->stop();
}

void BrowserView::goToNextItem()
{
    closeMedia();
}

void BrowserView::closeMedia()
{
    qDebug() << "Signal Received";
    evaluateInChartPage(QString::fromLatin1(nextItemScript), "the next-item call");
}

void BrowserView::play_youtube_helper(QString location)
{
    qDebug() << "starting....";
    qDebug() << location;
    // The desktop's player opens whatever the line names, and reads every
    // line as an entry of its own.
    if (!isNetworkMedia(location)) {
        qDebug() << "Playlist refused, not one network location:" << location;
        return;
    }

    const QString fileName = Paths::playlistFile();
    // A missing folder would leave the desktop opening a missing or stale
    // playlist; make it, and hand nothing over when the file cannot be written.
    // The file is replaced whole, so the desktop's player never reads half of it.
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QSaveFile file(fileName);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Text);
    if (written) {
        QTextStream out(&file);
        out << location;
        out.flush();
        written = file.commit();
    }
    if (!written) {
        qWarning() << "Cannot write the playlist" << fileName << ":" << file.errorString();
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(fileName));
}

// Downloads ---------------------------------------------------------------

void BrowserView::start_download(QString location, QString name)
{
    // The page passes the file name first and the address second.
    downloadWindow = new HttpWindow(nullptr);
    downloadWindow->downloadFile(name, location);
}
