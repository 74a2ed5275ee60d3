#ifndef PHONONPORT_H
#define PHONONPORT_H

#include "playbackport.h"

namespace Phonon {
class MediaObject;
}

// The port on a Phonon media object, under whichever back end Phonon loaded.
// The GStreamer adjustments the back end needs are made here, where sources
// are set up.
class PhononPort : public PlaybackPort
{
    Q_OBJECT

public:
    explicit PhononPort(Phonon::MediaObject &media, QObject *parent = nullptr);

    Phonon::State state() const override;
    qint64 currentTime() const override;
    qint64 totalTime() const override;
    bool hasVideo() const override;
    bool isQueueEmpty() const override;
    Phonon::MediaSource currentSource() const override;
    Phonon::ErrorType errorType() const override;
    QString errorString() const override;

    void setCurrentSource(const Phonon::MediaSource &source) override;
    void clearQueue() override;
    void enqueue(const QList<Phonon::MediaSource> &sources) override;
    void play() override;
    void pause() override;
    void stop() override;
    void seek(qint64 time) override;

private:
    Phonon::MediaObject &media;
};

#endif // PHONONPORT_H
