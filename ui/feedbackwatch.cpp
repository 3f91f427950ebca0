#include "feedbackwatch.h"

#include "motorstate.h"

void FeedbackWatch::start(qint64 samples, qint64 nowMs)
{
    m_watching = true;
    m_samples = samples;
    m_lastArrival = nowMs;
}

void FeedbackWatch::stop()
{
    m_watching = false;
}

qint64 FeedbackWatch::silence(qint64 samples, qint64 nowMs)
{
    if (!m_watching || samples >= historyCapacity)
        return -1;
    // A count that changed either way (grown, or reset by a new connection) is news.
    if (samples != m_samples) {
        m_samples = samples;
        m_lastArrival = nowMs;
        return -1;
    }
    const qint64 silent = nowMs - m_lastArrival;
    return silent >= silentAfterMs ? silent : -1;
}

QString FeedbackWatch::text(qint64 ms)
{
    return QStringLiteral("No feedback for %1 s").arg(double(ms) / 1000.0, 0, 'f', 1);
}
