#ifndef PLAYBACKPORT_H
#define PLAYBACKPORT_H

#include <QList>
#include <QObject>
#include <QString>

#include <phonon/Global>
#include <phonon/MediaSource>

// What PlaybackCorrector knows of a back end and asks of it: the back end's
// state and its media clock come in, as values and as the signals below, and
// commands go out. PhononPort puts a Phonon media object behind it; the
// corrector's tests put a back end of their own behind it, which reports
// only what the test makes it report, so that every fault a real back end
// shows now and then can be brought about at will.
class PlaybackPort : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual Phonon::State state() const = 0;
    // The media clock and the media's length, in milliseconds.
    virtual qint64 currentTime() const = 0;
    virtual qint64 totalTime() const = 0;
    virtual bool hasVideo() const = 0;
    virtual bool isQueueEmpty() const = 0;
    virtual Phonon::MediaSource currentSource() const = 0;
    virtual Phonon::ErrorType errorType() const = 0;
    virtual QString errorString() const = 0;

    virtual void setCurrentSource(const Phonon::MediaSource &source) = 0;
    virtual void clearQueue() = 0;
    virtual void enqueue(const QList<Phonon::MediaSource> &sources) = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    virtual void seek(qint64 time) = 0;

signals:
    void stateChanged(Phonon::State newstate, Phonon::State oldstate);
    // The clock, now and then while the media play.
    void tick(qint64 time);
    // The current source has reached its end and nothing more is queued.
    void finished();
    void bufferStatus(int percent);
    void hasVideoChanged(bool hasVideo);
    // The source changed, by setCurrentSource or from the queue.
    void currentSourceChanged(const Phonon::MediaSource &source);
};

#endif // PLAYBACKPORT_H
