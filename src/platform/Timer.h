// Timer: the one timer type of the program. Interval in ms, Enabled, a tick signal; enabling it or
// changing its interval restarts the count. Ticks come from a Clock: Qt's event loop in the program,
// a ManualClock in tests, so timed behaviour is tested in virtual time. GUI thread only.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <vector>

class Timer;

class Clock {
public:
    Clock();
    virtual ~Clock();
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;
    // Whether the clock still exists: a window deleted later may outlive a test's clock.
    static bool alive(const Clock* c);
    virtual void start(Timer* t) = 0; // (re)start counting one interval from now
    virtual void stop(Timer* t) = 0;
    virtual void forget(Timer* t) = 0; // the timer is being destroyed

    // Wall-clock time, UTC milliseconds since 1970, on this clock: what the guide and scheduled
    // recordings compare programme times with, so virtual time moves them too.
    virtual qint64 utcMs() const;
    static qint64 nowUtcMs() { return current()->utcMs(); }

    // The clock new timers attach to. The program's default runs on the Qt event loop.
    static Clock* current();
    static void setCurrent(Clock* c); // nullptr restores the event-loop clock
};

// The real-time floor of a tick that only catches what change notifications missed: soon enough
// for anyone to see, and an idle program wakes four times a second instead of sixty.
constexpr int kFallbackTickFloorMs = 250;

class Timer : public QObject {
    Q_OBJECT
public:
    explicit Timer(QObject* parent = nullptr, int intervalMs = 0, bool enabled = false);
    ~Timer() override;

    int Interval() const { return m_interval; }
    void setInterval(int ms);
    bool Enabled() const { return m_enabled; }
    void setEnabled(bool on);
    // The shortest interval the event loop runs this timer at, from now on. For a timer whose work
    // an event does as well (a poll backed by change notifications): it may wake the program far
    // less often without anyone seeing a difference. Virtual time ignores it.
    void setRealIntervalFloor(int ms);
    int realIntervalFloor() const { return m_realFloor; }

    // Used by clocks only.
    QTimer* qtTimer();
    void fire();

signals:
    void tick();

private:
    Clock* clock();

    Clock* m_clock;
    QTimer* m_qt = nullptr;
    int m_interval;
    int m_realFloor = 0;
    bool m_enabled = false;
};

// Virtual time for tests: advance() fires every due tick in time order (timers due at the same
// instant fire in the order they were started), so "85 ticks" or "after 7.5 s" run instantly.
class ManualClock : public Clock {
public:
    ManualClock();
    ~ManualClock() override;
    void start(Timer* t) override;
    void stop(Timer* t) override;
    void forget(Timer* t) override;

    qint64 now() const { return m_now; }
    // The wall-clock time at virtual time 0; the real time when the clock was made, by default.
    void setUtcBase(qint64 ms) { m_utcBase = ms; }
    qint64 utcMs() const override { return m_utcBase + m_now; }
    void advance(qint64 ms);
    // Advances until `done` holds or `limitMs` passes; returns whether it held.
    template <class F> bool advanceUntil(F done, qint64 limitMs, qint64 stepMs = 1) {
        for (qint64 t = 0; t <= limitMs; t += stepMs) {
            if (done())
                return true;
            advance(stepMs);
        }
        return done();
    }

private:
    struct Entry {
        Timer* timer;
        qint64 due;
        std::uint64_t seq;
    };
    std::vector<Entry> m_entries;
    qint64 m_now = 0;
    qint64 m_utcBase;
    std::uint64_t m_seq = 0;
};
