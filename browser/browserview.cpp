#include "browserview.h"

#include "httpwindow.h"
#include "mediaplayer.h"
#include "pageview.h"
#include "paths.h"
#include "playerbridge.h"
#include "titlebar.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QSaveFile>
#include <QTextStream>

namespace {

// Evaluated in the page when a player is done: the page moves to its next item.
const char nextItemScript[] = "player(ge('var').value-(-1),1);";

// Some mail programs attach whatever local file an "attach" or "attachment"
// field of a mail address names. Decoded until nothing changes, so no
// spelling of the field slips through.
bool carriesAttachment(const QUrl &url)
{
    QString text = url.toString(QUrl::FullyEncoded);
    for (int round = 0; round < 8; ++round) {
        const QString decoded = QUrl::fromPercentEncoding(text.toUtf8());
        if (decoded == text)
            break;
        text = decoded;
    }
    static const QRegularExpression field(QStringLiteral("[?&;]\\s*attach(ment)?\\s*="),
                                          QRegularExpression::CaseInsensitiveOption);
    return text.contains(field);
}

bool isOutsideLink(const QUrl &url)
{
    // The desktop runs whatever handler a scheme names: local files would be
    // executed, script and data URLs rendered, and on Windows schemes such as
    // ms-msdt start programs. Only web and mail addresses leave.
    static const QStringList schemes{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("ftp"),
                                     QStringLiteral("mailto")};
    if (!url.isValid() || !schemes.contains(url.scheme().toLower()))
        return false;
    return url.scheme().compare(QLatin1String("mailto"), Qt::CaseInsensitive) != 0 || !carriesAttachment(url);
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
        qDebug() << "Player withheld from a page outside the chart service:" << site;
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
    return mediaPlayer ? mediaPlayer : listeningPlayer();
}

void BrowserView::evaluateInChartPage(QString script, const char *what)
{
    if (!holdsChartPage()) {
        qDebug() << "Dropped" << what << "- the page shown now does not hold Player:" << page->url().host();
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
    mediaPlayer = new MediaPlayer(nullptr);
    mediaPlayer->playLocation(location);
    mediaPlayer->resize(width(), height());
    mediaPlayer->move(0, 0);
    connect(mediaPlayer, &MediaPlayer::done, this, &BrowserView::closeMedia);
    // showFullScreen() also asks for focus, which Wayland refuses to a
    // client (with a warning on every video); the compositor gives a new
    // full-screen window focus by itself.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        mediaPlayer->setWindowState(mediaPlayer->windowState() | Qt::WindowFullScreen);
        mediaPlayer->show();
    } else {
        mediaPlayer->showFullScreen();
    }
    emit playerCreated(mediaPlayer);
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
