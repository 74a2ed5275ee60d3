#ifndef BROWSERVIEW_H
#define BROWSERVIEW_H

#include "lookupservice.h"
#include "pagetrust.h"

#include <QPointer>
#include <QUrl>
#include <QWidget>

class HttpWindow;
class MediaPlayer;
class PageView;
class PlayerBridge;
class TitleBar;

// The page host. It shows the chart service's page through the web engine
// the program was built with (PageView) and serves the page's only way into
// the application: page script sees a PlayerBridge as the object `Player`,
// whose slots hand on to the public slots below. Only the chart service's
// pages (PageTrust) and the application's own error page get it, and only
// they receive answers and the next-item call.
class BrowserView : public QWidget
{
    Q_OBJECT
public:
    explicit BrowserView(QWidget *parent);
    ~BrowserView() override;

    static QString errorPage();

    // Whether the page shown now holds Player: a page of the chart service,
    // or the error page.
    bool holdsChartPage() const;
    // What a finished player does: tells the chart page to go on to its
    // next item (dropped when another site's page is shown).
    void goToNextItem();
    // The player that play_link and stop() act on now: the latest showMedia
    // player, else the hidden first one (made here if it is not yet).
    MediaPlayer *currentPlayer();
    // The hidden first player, where the page's songs play. Its back end
    // takes longer to load than the chart page, so the view makes it once
    // the first page has loaded; whatever needs it sooner (the page's
    // play_link or stop(), the desktop's controls) has it made here.
    MediaPlayer *listeningPlayer();
    // The page as the engine shows it.
    PageView *pageView() const;

signals:
    // Every media player made for the page, the hidden first one included,
    // which appears after the view was built.
    void playerCreated(MediaPlayer *player);
    // A new document in the main frame: whether it holds Player may differ.
    void pageChanged();

public slots:
    void showMedia(QUrl url);
    // Page script cannot pass a QUrl: its strings arrive here.
    void showMedia(const QString &url);
    void play_link(QString location);
    void play_youtube_helper(QString location);
    void request_youtube(QString request_youtube);
    void launchMarket(QString location);
    void httpFinished();
    void search_song_nokia(QString song_name);
    void httpFinished_nokia();
    void exit();
    void stop();
    // Publishes Player again, if the page shown now may hold it.
    void addJSObject();
    void start_download(QString location, QString name);

private slots:
    void start();
    void setProgress(int percent);
    void finish(bool ok);
    void updateTitleBar();
    void closeMedia();
    void showErrorPage();
    void prepareListeningPlayer();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void setupWebView();
    void loadStartPage();
    void noteWithheld();
    void evaluateInChartPage(QString script, const char *what);
    void releaseIfIdle(MediaPlayer *player);

    PageView *page = nullptr;
    LookupService lookups;
    TitleBar *titleBar = nullptr;
    int progress = 0;
    HttpWindow *downloadWindow = nullptr;
    QPointer<MediaPlayer> mediaPlayer;
    QPointer<MediaPlayer> firstPlayer;

    PageTrust trust;
    QPointer<PlayerBridge> bridge;
    QString withheldFrom;
};

#endif // BROWSERVIEW_H
