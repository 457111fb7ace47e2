// What the fault tests share: the reference service's fault switches as tried, and a watch on the
// event loop's responsiveness.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <string>

struct Fault {
    const char* mode;
    int value;
};

// One of each switch: a slow answer, an error status, garbage, a connection dropped early and an
// answer that never ends.
inline constexpr Fault kFaults[] = {
    {"delay", 1500}, {"error", 500}, {"garbage", 4096}, {"drop", 10}, {"endless", 0}};

inline std::string describe(const Fault& f) {
    return std::string(f.mode) + "=" + std::to_string(f.value);
}

// Ticks every 10 ms of real time and keeps the longest gap between two ticks: a blocked event loop
// shows as a long gap.
class LoopWatch {
public:
    LoopWatch() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_since.isValid())
                m_maxGap = std::max(m_maxGap, m_since.restart());
            else
                m_since.start();
        });
        m_timer.start(10);
    }
    qint64 maxGapMs() const { return m_maxGap; }
    void reset() {
        m_maxGap = 0;
        m_since.invalidate();
    }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_maxGap = 0;
};

// Generous for a shared two-core machine under the sanitizers, far below anything a user calls a
// hang.
constexpr qint64 kMaxLoopGapMs = 750;
