#include "phononport.h"
#include "gstreamertuning.h"

#include <phonon/MediaObject>

PhononPort::PhononPort(Phonon::MediaObject &mediaObject, QObject *parent)
    : PlaybackPort(parent)
    , media(mediaObject)
{
    connect(&media, &Phonon::MediaObject::stateChanged, this, &PlaybackPort::stateChanged);
    connect(&media, &Phonon::MediaObject::tick, this, &PlaybackPort::tick);
    connect(&media, &Phonon::MediaObject::finished, this, &PlaybackPort::finished);
    connect(&media, &Phonon::MediaObject::bufferStatus, this, &PlaybackPort::bufferStatus);
    connect(&media, &Phonon::MediaObject::hasVideoChanged, this, &PlaybackPort::hasVideoChanged);
    connect(&media, &Phonon::MediaObject::currentSourceChanged, this, &PlaybackPort::currentSourceChanged);
}

Phonon::State PhononPort::state() const
{
    return media.state();
}

qint64 PhononPort::currentTime() const
{
    return media.currentTime();
}

qint64 PhononPort::totalTime() const
{
    return media.totalTime();
}

bool PhononPort::hasVideo() const
{
    return media.hasVideo();
}

bool PhononPort::isQueueEmpty() const
{
    return media.queue().isEmpty();
}

Phonon::MediaSource PhononPort::currentSource() const
{
    return media.currentSource();
}

Phonon::ErrorType PhononPort::errorType() const
{
    return media.errorType();
}

QString PhononPort::errorString() const
{
    return media.errorString();
}

void PhononPort::setCurrentSource(const Phonon::MediaSource &source)
{
    GStreamerTuning::demoteWebKitSource();
    GStreamerTuning::downloadNetworkMedia();
    media.setCurrentSource(source);
}

void PhononPort::clearQueue()
{
    media.clearQueue();
}

void PhononPort::enqueue(const QList<Phonon::MediaSource> &sources)
{
    media.enqueue(sources);
}

// Play and pause are the calls that may set up a source on the GStreamer
// back end: made within a PlayerCall, the download hook knows the pipeline
// as the player's.
void PhononPort::play()
{
    const GStreamerTuning::PlayerCall call;
    media.play();
}

void PhononPort::pause()
{
    const GStreamerTuning::PlayerCall call;
    media.pause();
}

void PhononPort::stop()
{
    media.stop();
}

void PhononPort::seek(qint64 time)
{
    media.seek(time);
}
