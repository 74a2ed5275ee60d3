#include "mprisplayeradaptor.h"

#include "mprisservice.h"

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service)
    , service(service)
{
    connect(service, &MprisService::seeked, this, &MprisPlayerAdaptor::Seeked);
}

QString MprisPlayerAdaptor::playbackStatus() const
{
    return service->playbackStatus();
}

QVariantMap MprisPlayerAdaptor::metadata() const
{
    return service->metadata();
}

double MprisPlayerAdaptor::volume() const
{
    return service->volume();
}

void MprisPlayerAdaptor::setVolume(double volume)
{
    service->setVolume(volume);
}

qlonglong MprisPlayerAdaptor::position() const
{
    return service->position();
}

bool MprisPlayerAdaptor::canGoNext() const
{
    return service->canGoNext();
}

bool MprisPlayerAdaptor::canPlay() const
{
    return service->canPlay();
}

bool MprisPlayerAdaptor::canSeek() const
{
    return service->canSeek();
}

void MprisPlayerAdaptor::Next()
{
    service->next();
}

void MprisPlayerAdaptor::Previous()
{
    // There is no way back on the chart page: CanGoPrevious is false.
}

void MprisPlayerAdaptor::Pause()
{
    service->pause();
}

void MprisPlayerAdaptor::PlayPause()
{
    service->playPause();
}

void MprisPlayerAdaptor::Stop()
{
    service->stop();
}

void MprisPlayerAdaptor::Play()
{
    service->play();
}

void MprisPlayerAdaptor::Seek(qlonglong Offset)
{
    service->seek(Offset);
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath &TrackId, qlonglong Position)
{
    service->setPosition(TrackId, Position);
}

void MprisPlayerAdaptor::OpenUri(const QString &Uri, const QDBusMessage &message)
{
    service->openUri(Uri, message);
}
