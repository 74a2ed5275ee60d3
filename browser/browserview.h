#ifndef BROWSERVIEW_H
#define BROWSERVIEW_H

#include <QGraphicsScene>
#include <QGraphicsView>
#include <QList>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QUrl>

class HttpWindow;
class MediaPlayer;
class MWebView;
class QNetworkReply;
class TitleBar;

// The page host. It shows the chart service's page and is the page's only way
// into the application: page script sees it as the object `Player`, and the
// public slots below are everything the page can ask for.
class BrowserView : public QGraphicsView
{
    Q_OBJECT
public:
    explicit BrowserView(QWidget *parent);
    ~BrowserView() override;

    static QString errorPage();

    // Whether the page shown now is the chart service's, the page that
    // holds Player.
    bool holdsChartPage() const;
    // What a finished player does: tells the chart page to go on to its
    // next item.
    void goToNextItem();
    // The player that play_link and stop() act on now.
    MediaPlayer *currentPlayer() const { return mediaPlayer; }
    // The hidden first player, where the page's songs play.
    MediaPlayer *listeningPlayer() const { return firstPlayer; }

signals:
    // A media player made for the page after the view was built (the
    // first one exists once the constructor returns: currentPlayer()).
    void playerCreated(MediaPlayer *player);

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
    void addJSObject();
    void start_download(QString location, QString name);

private slots:
    void start();
    void setProgress(int percent);
    void finish(bool ok);
    void updateTitleBar();
    void closeMedia();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    enum LookupKind { YoutubeLookup, NokiaLookup };

    void setupWebView();
    void loadStartPage();
    void startLookup(const QString &location, LookupKind kind);
    QNetworkReply *latestPending(LookupKind kind);
    void answer(QNetworkReply *reply, LookupKind kind);
    void answerPage(LookupKind kind, const QByteArray &body);
    void evaluate(const QString &script);

    MWebView *webView = nullptr;
    QNetworkAccessManager networkManager;
    QPointer<QNetworkReply> pendingReply;
    QGraphicsScene scene;
    TitleBar *titleBar = nullptr;
    int progress = 0;
    HttpWindow *downloadWindow = nullptr;
    MediaPlayer *mediaPlayer = nullptr;
    MediaPlayer *firstPlayer = nullptr;

    // Every lookup still running, oldest first, so two lookups at once are
    // each answered and a handler called from script finds the latest of its kind.
    QList<QPointer<QNetworkReply>> pendingLookups[2];
};

#endif // BROWSERVIEW_H
