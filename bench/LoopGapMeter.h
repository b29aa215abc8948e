#pragma once

// The longest wait between two rounds of the event loop while it is alive: a precise 1 ms
// timer only fires inside a round, so a click on Cancel waits at most that long to be seen.

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>

class LoopGapMeter {
public:
    LoopGapMeter() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longestMs = std::max(m_longestMs, m_sinceLast.nsecsElapsed() / 1e6);
            m_sinceLast.restart();
        });
        m_sinceLast.start();
        m_timer.start();
    }
    double LongestMs() const { return m_longestMs; }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceLast;
    double m_longestMs = 0.0;
};
