#include "Timer.h"

#include <QDateTime>
#include <algorithm>

#include <unordered_set>

namespace {

std::unordered_set<const Clock*>& liveClocks() {
    static std::unordered_set<const Clock*> clocks;
    return clocks;
}

// Ticks shorter than the platform's timer resolution are not observable to a user; running 1 ms
// timers at ~16 ms keeps idle windows nearly free of CPU.
constexpr int kMinRealIntervalMs = 16;

class EventLoopClock : public Clock {
public:
    void start(Timer* t) override {
        QTimer* q = t->qtTimer();
        q->start(std::max({t->Interval(), kMinRealIntervalMs, t->realIntervalFloor()}));
    }
    void stop(Timer* t) override { t->qtTimer()->stop(); }
    void forget(Timer*) override {}
};

EventLoopClock g_eventLoopClock;
Clock* g_current = &g_eventLoopClock;

} // namespace

Clock::Clock() {
    liveClocks().insert(this);
}
Clock::~Clock() {
    liveClocks().erase(this);
}
bool Clock::alive(const Clock* c) {
    return liveClocks().count(c) > 0;
}

qint64 Clock::utcMs() const {
    return QDateTime::currentMSecsSinceEpoch();
}

Clock* Clock::current() {
    return g_current;
}
void Clock::setCurrent(Clock* c) {
    g_current = c ? c : &g_eventLoopClock;
}

Timer::Timer(QObject* parent, int intervalMs, bool enabled)
    : QObject(parent), m_clock(Clock::current()), m_interval(intervalMs) {
    if (enabled)
        setEnabled(true);
}

Timer::~Timer() {
    if (Clock::alive(m_clock)) {
        m_clock->stop(this);
        m_clock->forget(this);
    }
}

Clock* Timer::clock() {
    if (!Clock::alive(m_clock))
        m_clock = Clock::current();
    return m_clock;
}

QTimer* Timer::qtTimer() {
    if (!m_qt) {
        m_qt = new QTimer(this);
        m_qt->setTimerType(Qt::CoarseTimer);
        connect(m_qt, &QTimer::timeout, this, &Timer::fire);
    }
    return m_qt;
}

void Timer::fire() {
    if (m_enabled)
        emit tick();
}

void Timer::setInterval(int ms) {
    m_interval = std::max(ms, 0);
    if (m_enabled)
        clock()->start(this);
}

void Timer::setRealIntervalFloor(int ms) {
    m_realFloor = ms;
    // Only the event loop's clock heeds the floor (and only it makes a QTimer): a running count
    // restarts at the new pace, while virtual time in tests runs on undisturbed.
    if (m_enabled && m_qt)
        clock()->start(this);
}

void Timer::setEnabled(bool on) {
    m_enabled = on;
    if (on)
        clock()->start(this);
    else
        clock()->stop(this);
}

ManualClock::ManualClock() : m_utcBase(QDateTime::currentMSecsSinceEpoch()) {
    Clock::setCurrent(this);
}

ManualClock::~ManualClock() {
    if (Clock::current() == this)
        Clock::setCurrent(nullptr);
}

void ManualClock::start(Timer* t) {
    stop(t);
    m_entries.push_back({t, m_now + std::max(t->Interval(), 1), m_seq++});
}

void ManualClock::stop(Timer* t) {
    m_entries.erase(
        std::remove_if(m_entries.begin(), m_entries.end(), [t](const Entry& e) { return e.timer == t; }),
        m_entries.end());
}

void ManualClock::forget(Timer* t) {
    stop(t);
}

void ManualClock::advance(qint64 ms) {
    const qint64 end = m_now + ms;
    for (;;) {
        auto next = std::min_element(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) {
            return a.due != b.due ? a.due < b.due : a.seq < b.seq;
        });
        if (next == m_entries.end() || next->due > end)
            break;
        m_now = next->due;
        Timer* t = next->timer;
        // Re-arm before the tick so a handler that stops or restarts its timer has the last word.
        next->due = m_now + std::max(t->Interval(), 1);
        next->seq = m_seq++;
        t->fire();
    }
    m_now = end;
}
