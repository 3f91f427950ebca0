#include "writegrid.h"

namespace {
constexpr qint64 periodNs = qint64(WriteGrid::periodMs) * 1000000;
// A pass later than this restarts the grid from now.
constexpr qint64 lateNs = 1000000;
} // namespace

void WriteGrid::restart()
{
    m_nextDue = m_clock.nsecsElapsed() + periodNs;
}

int WriteGrid::nextDelayMs()
{
    const qint64 now = m_clock.nsecsElapsed();
    if (now - m_nextDue > lateNs)
        m_nextDue = now + periodNs;
    else
        m_nextDue += periodNs;
    // Rounded down: the timer's own latency then keeps the passes near their due times
    // instead of always behind them.
    return int(qMax<qint64>(0, (m_nextDue - now) / 1000000));
}
