#ifndef PLAYERBRIDGE_H
#define PLAYERBRIDGE_H

#include <QObject>
#include <QString>
#include <QUrl>

class BrowserView;

// The object page script knows as Player. Its slots are the page's whole
// interface, each handed on to the page host; being a plain QObject, it
// gives the page nothing of a widget to close, restyle or grab.
class PlayerBridge : public QObject
{
    Q_OBJECT
public:
    explicit PlayerBridge(BrowserView *view);

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

private:
    // The parent: it outlives the bridge.
    BrowserView *const view;
};

#endif // PLAYERBRIDGE_H
