#include "playerbridge.h"

#include "browserview.h"

PlayerBridge::PlayerBridge(BrowserView *view)
    : QObject(view)
    , view(view)
{
}

void PlayerBridge::showMedia(QUrl url)
{
    view->showMedia(url);
}

void PlayerBridge::showMedia(const QString &url)
{
    view->showMedia(url);
}

void PlayerBridge::play_link(QString location)
{
    view->play_link(location);
}

void PlayerBridge::play_youtube_helper(QString location)
{
    view->play_youtube_helper(location);
}

void PlayerBridge::request_youtube(QString request_youtube)
{
    view->request_youtube(request_youtube);
}

void PlayerBridge::launchMarket(QString location)
{
    view->launchMarket(location);
}

void PlayerBridge::httpFinished()
{
    view->httpFinished();
}

void PlayerBridge::search_song_nokia(QString song_name)
{
    view->search_song_nokia(song_name);
}

void PlayerBridge::httpFinished_nokia()
{
    view->httpFinished_nokia();
}

void PlayerBridge::exit()
{
    view->exit();
}

void PlayerBridge::stop()
{
    view->stop();
}

void PlayerBridge::addJSObject()
{
    view->addJSObject();
}

void PlayerBridge::start_download(QString location, QString name)
{
    view->start_download(location, name);
}
