#include "playbacksuite.h"

#include "mediaplayer.h"

#include <QApplication>

#include <phonon/SeekSlider>

// Apart from the fixture, so suites that only play media need not link the
// page host and its web engine.
namespace Handoff {

QList<MediaPlayer *> allPlayers()
{
    QList<MediaPlayer *> players;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *player = qobject_cast<MediaPlayer *>(widget))
            players.append(player);
    }
    return players;
}

Phonon::MediaObject *mediaObjectOf(MediaPlayer *player)
{
    auto *slider = player ? player->findChild<Phonon::SeekSlider *>() : nullptr;
    return slider ? slider->mediaObject() : nullptr;
}

Phonon::State stateOf(MediaPlayer *player)
{
    return player ? player->state() : Phonon::ErrorState;
}

QString stateText(Phonon::State state)
{
    switch (state) {
    case Phonon::LoadingState:
        return QStringLiteral("loading");
    case Phonon::StoppedState:
        return QStringLiteral("stopped");
    case Phonon::PlayingState:
        return QStringLiteral("playing");
    case Phonon::BufferingState:
        return QStringLiteral("buffering");
    case Phonon::PausedState:
        return QStringLiteral("paused");
    case Phonon::ErrorState:
        break;
    }
    return QStringLiteral("error");
}

QString stateText(MediaPlayer *player)
{
    return stateText(stateOf(player));
}

QUrl sourceOf(MediaPlayer *player)
{
    Phonon::MediaObject *media = mediaObjectOf(player);
    return media ? media->currentSource().url() : QUrl();
}

bool isFullScreen(MediaPlayer *player)
{
    return player->isVisible() && player->windowState().testFlag(Qt::WindowFullScreen);
}

QString scriptQuoted(const QString &text)
{
    // The tests' own texts hold no quote or backslash; keep it that way.
    Q_ASSERT(!text.contains(QLatin1Char('\'')) && !text.contains(QLatin1Char('\\')));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

} // namespace Handoff
