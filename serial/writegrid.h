#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

// The due times of a link's command write passes, one every 20 ms. Passes keep to the
// fixed grid so that timer latency does not add up; a pass that came late restarts the
// grid from now rather than sending the next frames early to catch up.
class WriteGrid
{
public:
    static constexpr int periodMs = 20;

    WriteGrid() { m_clock.start(); }
    // The first pass falls due one period from now.
    void restart();
    // Moves to the next due time after a pass; the delay until then in milliseconds.
    int nextDelayMs();

private:
    QElapsedTimer m_clock;
    qint64 m_nextDue = 0;
};
