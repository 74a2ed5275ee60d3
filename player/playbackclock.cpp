#include "playbackclock.h"

#include <QElapsedTimer>
#include <QTimer>

namespace {

class SystemTimer : public PlaybackTimer
{
public:
    explicit SystemTimer(QObject *parent)
        : PlaybackTimer(parent)
    {
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, this, &PlaybackTimer::timeout);
    }

    void start(int ms) override { timer.start(ms); }
    void stop() override { timer.stop(); }
    bool isActive() const override { return timer.isActive(); }

private:
    QTimer timer{this};
};

class SystemClock : public PlaybackClock
{
public:
    SystemClock() { monotonic.start(); }

    qint64 now() const override { return monotonic.elapsed(); }
    PlaybackTimer *createTimer(QObject *parent) override { return new SystemTimer(parent); }

private:
    QElapsedTimer monotonic;
};

} // namespace

PlaybackClock &PlaybackClock::system()
{
    static SystemClock clock;
    return clock;
}
