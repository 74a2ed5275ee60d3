#include "browserview.h"

#include "browserlog.h"
#include "httpwindow.h"
#include "mediaplayer.h"
#include "pageview.h"
#include "paths.h"
#include "playerbridge.h"
#include "titlebar.h"
#include "urlrules.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QResizeEvent>
#include <QSaveFile>
#include <QTextStream>
#include <QTimer>

Q_LOGGING_CATEGORY(lcBrowser, "melodrift.browser")

namespace {

// Evaluated in the page when a player is done: the page moves to its next item.
const char nextItemScript[] = "player(ge('var').value-(-1),1);";

// What the debug output shows of an address: all of any a page may use, the
// start of one refused for its length (megabytes written out stall whoever
// reads the output).
QString forLog(const QString &location)
{
    if (location.size() <= UrlRules::maxLocationLength)
        return location;
    return location.left(200) + QStringLiteral("... (%1 characters)").arg(location.size());
}

// What the page may hand to a player or to the desktop's player.
bool isNetworkMedia(const QString &location)
{
    if (location.size() > UrlRules::maxLocationLength)
        qCDebug(lcBrowser) << "Media address refused, longer than 64 KiB:" << location.size() << "characters";
    return UrlRules::isNetworkMedia(location);
}

} // namespace

BrowserView::BrowserView(QWidget *parent)
    : QWidget(parent)
    , lookups([this](QString script, const char *what) { evaluateInChartPage(std::move(script), what); })
    , trust(PageTrust::fromEnvironment())
{
    page = PageView::create(this);
    titleBar = new TitleBar(page->widget());
    setupWebView();
    loadStartPage();
    // Loading the player's back end holds the GUI thread for about as long
    // as the engine takes to show the chart page, so the page goes first
    // (listeningPlayer() makes the player sooner for whoever needs it).
    // Queued, so that the load's own handlers run before it.
    connect(page, &PageView::loadFinished, this, &BrowserView::prepareListeningPlayer, Qt::QueuedConnection);
}

BrowserView::~BrowserView() = default;

QString BrowserView::errorPage()
{
    const QString indent = QStringLiteral("        ");
    // The start page comes from configuration; in the link's single-quoted
    // attribute it must stay an address.
    const QString start =
        Paths::startPageUrl().toString().toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;"));
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
    connect(page, &PageView::loadStarted, this, &BrowserView::start);
    connect(page, &PageView::loadProgress, this, &BrowserView::setProgress);
    connect(page, &PageView::loadFinished, this, &BrowserView::finish);
    connect(page, &PageView::documentChanged, this, &BrowserView::pageChanged);
    connect(page, &PageView::documentChanged, this, &BrowserView::noteWithheld);
}

void BrowserView::loadStartPage()
{
    page->load(Paths::startPageUrl());
    // Before control returns to the event loop, so the start page's first
    // document has it.
    addJSObject();
}

void BrowserView::addJSObject()
{
    // Page script can delete the bridge under some engines (deleteLater is
    // QObject's); the next page gets a fresh one.
    page->publish(
        QStringLiteral("Player"),
        [this]() -> QObject * {
            if (!bridge)
                bridge = new PlayerBridge(this);
            return bridge;
        },
        trust);
}

// Once per site, however many of its pages follow one another.
void BrowserView::noteWithheld()
{
    const QUrl url = page->url();
    if (trust.trusts(url)) {
        withheldFrom.clear();
        return;
    }
    const QString site = url.host().isEmpty() ? url.toString(QUrl::RemovePath | QUrl::RemoveQuery) : url.host();
    if (site != withheldFrom) {
        withheldFrom = site;
        qCDebug(lcBrowser) << "Player withheld from a page outside the chart service:" << site;
    }
}

bool BrowserView::holdsChartPage() const
{
    return trust.trusts(page->url());
}

PageView *BrowserView::pageView() const
{
    return page;
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
    // A failed frame inside the page, or a load the page stopped or replaced
    // itself, leaves the page as it is. The engine is still winding the
    // failed load up here and would drop a page loaded now.
    if (!ok && page->mainFrameUnreachable())
        QMetaObject::invokeMethod(this, &BrowserView::showErrorPage, Qt::QueuedConnection);
}

// The error page is known by its own address, which no network page can have.
void BrowserView::showErrorPage()
{
    // Unless something else has started loading since.
    if (page->mainFrameUnreachable())
        page->showErrorPage(errorPage(), PageTrust::errorPageUrl());
}

void BrowserView::updateTitleBar()
{
    titleBar->setHost(page->url().host());
    titleBar->setTitle(page->title());
    titleBar->setProgress(progress);
}

void BrowserView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int w = event->size().width();
    const int h = event->size().height();
    page->widget()->setGeometry(0, 0, w, h);
    titleBar->resize(w, titleBar->sizeHint().height());
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

void BrowserView::evaluateInChartPage(QString script, const char *what)
{
    if (!holdsChartPage()) {
        qCDebug(lcBrowser) << "Dropped" << what << "- the page shown now does not hold Player:" << page->url().host();
        return;
    }
    page->evaluate(std::move(script));
}

// Lookups -----------------------------------------------------------------

void BrowserView::request_youtube(QString request_youtube)
{
    lookups.start(request_youtube, LookupService::Youtube);
}

void BrowserView::httpFinished()
{
    lookups.endLatest(LookupService::Youtube);
}

void BrowserView::search_song_nokia(QString song_name)
{
    lookups.start(song_name, LookupService::Nokia);
}

void BrowserView::httpFinished_nokia()
{
    lookups.endLatest(LookupService::Nokia);
}

void BrowserView::launchMarket(QString location)
{
    const QUrl url(location);
    if (!UrlRules::isOutsideLink(url)) {
        qCDebug(lcBrowser) << "Link refused, not a web address:" << location;
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
        qCDebug(lcBrowser) << "Media refused, not a network location:" << forLog(location);
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
    // showFullScreen() also asks for focus, which Wayland refuses to a
    // client (with a warning on every video); the compositor gives a new
    // full-screen window focus by itself.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        player->setWindowState(player->windowState() | Qt::WindowFullScreen);
        player->show();
    } else {
        player->showFullScreen();
    }
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
        qCDebug(lcBrowser) << "Media refused, not a network location:" << forLog(location);
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
    qDebug() << forLog(location);
    // The desktop's player opens whatever the line names, and reads every
    // line as an entry of its own.
    if (!isNetworkMedia(location)) {
        qCDebug(lcBrowser) << "Playlist refused, not one network location:" << forLog(location);
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
        qCWarning(lcBrowser) << "Cannot write the playlist" << fileName << ":" << file.errorString();
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
