#include "statusline.h"

#include <utility>

StatusLine::StatusLine(QString ratePrefix) : m_ratePrefix(std::move(ratePrefix))
{
}

void StatusLine::setRatesLive(bool live)
{
    m_ratesLive = live;
    if (!live)
        m_rate.clear();
}

bool StatusLine::post(const QString &text, qint64 nowMs)
{
    if (!text.startsWith(m_ratePrefix)) {
        m_holdUntil = nowMs + holdMs;
        return true;
    }
    if (!m_ratesLive)
        return false;
    m_rate = text;
    if (nowMs < m_holdUntil)
        return false;
    m_holdUntil = -1;
    return true;
}

qint64 StatusLine::rateDueAt() const
{
    return m_rate.isEmpty() ? -1 : m_holdUntil;
}

QString StatusLine::takeDueRate(qint64 nowMs)
{
    const qint64 due = rateDueAt();
    if (due < 0 || nowMs < due)
        return QString();
    m_holdUntil = -1;
    return m_rate;
}

QString StatusLine::release()
{
    m_holdUntil = -1;
    return m_rate;
}
