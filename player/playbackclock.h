#ifndef PLAYBACKCLOCK_H
#define PLAYBACKCLOCK_H

#include <QObject>

// A single-shot timer on a PlaybackClock.
class PlaybackTimer : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts the timer, or starts it again, to fire once in ms milliseconds.
    virtual void start(int ms) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

signals:
    void timeout();
};

// The corrector's own time: a monotonic clock in milliseconds and timers on
// it. The system's runs by itself; a test's moves only when the test moves
// it, so the corrector's judgements of seconds are checked without waiting.
class PlaybackClock
{
public:
    virtual ~PlaybackClock() = default;

    virtual qint64 now() const = 0;
    // A new timer on this clock, a child of parent.
    virtual PlaybackTimer *createTimer(QObject *parent) = 0;

    // The event loop's timers and a monotonic clock.
    static PlaybackClock &system();
};

#endif // PLAYBACKCLOCK_H
