#ifndef FAKEBACKEND_H
#define FAKEBACKEND_H

#include "playbackclock.h"
#include "playbackport.h"

#include <QList>
#include <QPointer>
#include <QStringList>

#include <algorithm>

// A back end that does nothing by itself: it reports the states, clock and
// errors the test gives it, and records the commands it receives, so that
// each fault of a real back end is brought about at will and without sound.
class FakeBackEnd : public PlaybackPort
{
public:
    Phonon::State state() const override { return current; }
    qint64 currentTime() const override { return clock; }
    qint64 totalTime() const override { return length; }
    bool hasVideo() const override { return false; }
    bool isQueueEmpty() const override { return queue.isEmpty(); }
    Phonon::MediaSource currentSource() const override { return source; }
    Phonon::ErrorType errorType() const override { return error; }
    QString errorString() const override { return errorText; }

    // A new source loads, as with Phonon's back ends; its report is the test's.
    void setCurrentSource(const Phonon::MediaSource &next) override
    {
        commands << QStringLiteral("source ") + next.url().fileName();
        source = next;
        current = Phonon::LoadingState;
        emit currentSourceChanged(next);
    }
    void clearQueue() override { queue.clear(); }
    void enqueue(const QList<Phonon::MediaSource> &sources) override { queue += sources; }
    void play() override { commands << QStringLiteral("play"); }
    void pause() override { commands << QStringLiteral("pause"); }
    void stop() override { commands << QStringLiteral("stop"); }
    void seek(qint64 time) override { commands << QStringLiteral("seek %1").arg(time); }

    // The back end reports a change of state, as Phonon's media object does.
    void report(Phonon::State state)
    {
        const Phonon::State old = std::exchange(current, state);
        emit stateChanged(state, old);
    }
    void fail(Phonon::ErrorType type, const QString &text = QString())
    {
        error = type;
        errorText = text;
        report(Phonon::ErrorState);
    }
    // The commands received since the last call, oldest first.
    QStringList takeCommands() { return std::exchange(commands, {}); }

    Phonon::State current = Phonon::StoppedState;
    qint64 clock = 0;
    qint64 length = 30000;
    QList<Phonon::MediaSource> queue;
    Phonon::MediaSource source;
    Phonon::ErrorType error = Phonon::NoError;
    QString errorText;
    QStringList commands;
};

// Time that moves only when the test moves it. Timers fire in the order of
// their deadlines as it passes them, each at its own moment.
class ManualClock : public PlaybackClock
{
public:
    qint64 now() const override { return time; }
    PlaybackTimer *createTimer(QObject *parent) override
    {
        auto *timer = new Timer(*this, parent);
        timers.append(timer);
        return timer;
    }

    // Moves time on by ms, firing every timer whose deadline it passes (a
    // zero-length one fires at once).
    void advance(qint64 ms)
    {
        const qint64 until = time + ms;
        for (;;) {
            Timer *due = nullptr;
            for (const QPointer<Timer> &timer : qAsConst(timers)) {
                if (timer && timer->deadline >= 0 && timer->deadline <= until
                    && (!due || timer->deadline < due->deadline))
                    due = timer;
            }
            if (!due)
                break;
            time = due->deadline;
            due->deadline = -1;
            ++fired;
            emit due->timeout();
        }
        time = until;
    }
    // How many times a timer has fired.
    int fired = 0;

private:
    class Timer : public PlaybackTimer
    {
    public:
        Timer(ManualClock &clock, QObject *parent)
            : PlaybackTimer(parent)
            , clock(clock)
        {
        }
        void start(int ms) override { deadline = clock.time + ms; }
        void stop() override { deadline = -1; }
        bool isActive() const override { return deadline >= 0; }

        ManualClock &clock;
        qint64 deadline = -1;
    };

    qint64 time = 0;
    QList<QPointer<Timer>> timers;
};

#endif // FAKEBACKEND_H
