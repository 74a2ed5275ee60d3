#include "browserview.h"

#include "httpwindow.h"
#include "mediaplayer.h"
#include "mwebpage.h"
#include "mwebview.h"
#include "paths.h"
#include "scriptstring.h"
#include "titlebar.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QResizeEvent>
#include <QTextStream>
#include <QWebFrame>
#include <QWebPage>

namespace {

// Evaluated in the page when a player is done: the page moves to its next item.
const char nextItemScript[] = "player(ge('var').value-(-1),1);";

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

} // namespace

BrowserView::BrowserView(QWidget *parent)
    : QGraphicsView(parent)
    , networkManager(nullptr)
    , scene(nullptr)
{
    setScene(&scene);
    titleBar = new TitleBar(this);
    setFrameShape(QFrame::NoFrame);
    setupWebView();
    loadStartPage();

    mediaPlayer = new MediaPlayer(nullptr);
    firstPlayer = mediaPlayer;
    connect(mediaPlayer, &MediaPlayer::play_finished, this, &BrowserView::closeMedia);
}

BrowserView::~BrowserView() = default;

QString BrowserView::errorPage()
{
    const QString indent = QStringLiteral("        ");
    const QString start = Paths::startPageUrl().toString();
    return QStringLiteral("\t") + indent + QStringLiteral("<html>")
           + QStringLiteral("\t\t") + indent
           + QStringLiteral("<body onload='' style='background:black;color:white;'>")
           + QStringLiteral("\t\t\t") + indent + tr("Check your internet connection!")
           + QStringLiteral("<br><br>")
           + QStringLiteral("\t\t\t") + indent + QStringLiteral("<a style='color:white;' href='") + start
           + QStringLiteral("'>") + tr("Try again") + QStringLiteral("</a>")
           + QStringLiteral("\t\t") + indent + QStringLiteral("</body>")
           + QStringLiteral("\t") + indent + QStringLiteral("</html>");
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
    connect(webView->page()->mainFrame(), &QWebFrame::javaScriptWindowObjectCleared,
            this, &BrowserView::addJSObject);
}

void BrowserView::addJSObject()
{
    webView->page()->mainFrame()->addToJavaScriptWindowObject(QStringLiteral("Player"), this);
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
    if (!ok)
        webView->setHtml(errorPage(), QUrl());
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

void BrowserView::evaluate(const QString &script)
{
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
        // Answered later, as a request that failed at once would be, so the
        // page never sees its callback run inside its own call.
        QMetaObject::invokeMethod(this, [this, kind] { answerPage(kind, QByteArray()); },
                                  Qt::QueuedConnection);
        return;
    }
    QNetworkReply *reply = networkManager.get(QNetworkRequest(url));
    pendingReply = reply;
    pendingLookups[kind].append(reply);
    if (kind == YoutubeLookup)
        connect(reply, &QNetworkReply::finished, this, &BrowserView::httpFinished);
    else
        connect(reply, &QNetworkReply::finished, this, &BrowserView::httpFinished_nokia);
}

QNetworkReply *BrowserView::latestPending(LookupKind kind)
{
    QList<QPointer<QNetworkReply>> &pending = pendingLookups[kind];
    pending.removeAll(nullptr);
    return pending.isEmpty() ? nullptr : pending.last().data();
}

void BrowserView::httpFinished()
{
    // From a finished reply, answer that very reply; from page script, the
    // latest lookup of this kind still running.
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        reply = latestPending(YoutubeLookup);
    if (reply)
        answer(reply, YoutubeLookup);
}

void BrowserView::httpFinished_nokia()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        reply = latestPending(NokiaLookup);
    if (reply)
        answer(reply, NokiaLookup);
}

void BrowserView::answer(QNetworkReply *reply, LookupKind kind)
{
    // A reply answered early from script ends there: it must not answer again.
    disconnect(reply, nullptr, this, nullptr);
    pendingLookups[kind].removeAll(reply);
    if (pendingReply == reply)
        pendingReply = nullptr;
    const QByteArray body = reply->readAll();
    if (reply->isRunning())
        reply->abort();
    reply->deleteLater();
    answerPage(kind, body);
}

void BrowserView::answerPage(LookupKind kind, const QByteArray &body)
{
    if (kind == YoutubeLookup) {
        QString script = QStringLiteral("process_youtube(");
        ScriptString::appendLiteral(script, ScriptString::answerView(body));
        script += QLatin1Char(')');
        evaluate(script);
    } else {
        evaluate(QStringLiteral("process_ajax(window.atob('") + QString::fromLatin1(body.toBase64())
                 + QStringLiteral("') );"));
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
    qDebug() << "Video play: " << location;
    mediaPlayer = new MediaPlayer(nullptr);
    mediaPlayer->playLocation(location);
    mediaPlayer->resize(width(), height());
    mediaPlayer->move(0, 0);
    connect(mediaPlayer, &MediaPlayer::done, this, &BrowserView::closeMedia);
    mediaPlayer->showFullScreen();
    emit playerCreated(mediaPlayer);
}

void BrowserView::showMedia(const QString &url)
{
    showMedia(QUrl(url));
}

void BrowserView::play_link(QString location)
{
    mediaPlayer->playLocation(location);
}

void BrowserView::stop()
{
    mediaPlayer->stop();
}

bool BrowserView::holdsChartPage() const
{
    return true;
}

void BrowserView::goToNextItem()
{
    closeMedia();
}

void BrowserView::closeMedia()
{
    qDebug() << "Signal Received";
    evaluate(QString::fromLatin1(nextItemScript));
}

void BrowserView::play_youtube_helper(QString location)
{
    qDebug() << "starting....";
    qDebug() << location;

    const QString fileName = Paths::playlistFile();
    // A missing folder would leave the desktop opening a missing or stale
    // playlist; make it, and hand nothing over when the file cannot be written.
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Truncate)) {
        qWarning() << "Cannot write the playlist" << fileName << ":" << file.errorString();
        return;
    }
    QTextStream out(&file);
    out << location;
    out.flush();
    file.close();
    if (file.error() != QFileDevice::NoError) {
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
