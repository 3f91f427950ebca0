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

void FeedbackRate::note(qint64 frames, qint64 nowMs)
{
    // A count that went back belongs to a new connection: the old notes say nothing of it.
    if (!m_notes.empty() && (frames < m_notes.back().second || nowMs < m_notes.back().first))
        m_notes.clear();
    m_notes.emplace_back(nowMs, frames);
    while (m_notes.size() > 2 && m_notes[1].first <= nowMs - windowMs)
        m_notes.pop_front();
}

double FeedbackRate::perSecond() const
{
    if (m_notes.size() < 2)
        return 0;
    const auto &[firstMs, firstFrames] = m_notes.front();
    const auto &[lastMs, lastFrames] = m_notes.back();
    if (lastMs <= firstMs)
        return 0;
    return double(lastFrames - firstFrames) * 1000.0 / double(lastMs - firstMs);
}

QString FeedbackRate::text(double perSecond)
{
    return QStringLiteral("Feedback: %1 frames/s").arg(perSecond, 0, 'f', 0);
}

QString elapsedText(double seconds)
{
    const qint64 tenths = seconds > 0 ? qint64(seconds * 10) : 0;
    const qint64 s = tenths / 10;
    return QStringLiteral("Elapsed: %1:%2:%3.%4")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths % 10);
}
