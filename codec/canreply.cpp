#include "canreply.h"

#include "framemath.h"

#include <algorithm>

CanReplyOutcome storeCanReply(MotorState &state, const Limits &scale, const quint8 *data,
                              int length, qint32 motorId, double seconds)
{
    if (length < 1 || !data)
        return CanReplyOutcome::Error;
    // Another motor's reply is not an error, whatever its length.
    if (data[0] != quint8(motorId))
        return CanReplyOutcome::Ignored;
    if (length < canReplyMinLength)
        return CanReplyOutcome::Error;
    ++state.framesReceived;
    std::size_t capacity = std::min<std::size_t>(historyCapacity, state.timeHistory.size());
    for (const History &h : state.histories)
        capacity = std::min(capacity, h.size());
    const qint32 count = state.sampleCount;
    if (count < 0 || std::size_t(count) >= capacity)
        return CanReplyOutcome::Dropped;

    const qint32 positionCode = data[1] << 8 | data[2];
    const qint32 velocityCode = data[3] << 4 | data[4] >> 4;
    const qint32 currentCode = (data[4] & 0x0F) << 8 | data[5];
    const float position =
        fixedToFloat(positionCode, float(scale.positionMin), float(scale.positionMax), 16);
    const float velocity =
        fixedToFloat(velocityCode, float(scale.velocityMin), float(scale.velocityMax), 12);
    const float current =
        fixedToFloat(currentCode, float(scale.currentMin), float(scale.currentMax), 12);
    state.positionHistory().data()[count] = position;
    state.velocityHistory().data()[count] = velocity;
    state.currentHistory().data()[count] = current;
    double *times = state.timeHistory.data();
    times[count] = count > 0 ? std::max(seconds, times[count - 1]) : seconds;
    state.sampleCount = count + 1;
    widen(position, state.decodePositionMin, state.decodePositionMax);
    widen(velocity, state.decodeVelocityMin, state.decodeVelocityMax);
    widen(current, state.decodeCurrentMin, state.decodeCurrentMax);
    return CanReplyOutcome::Stored;
}

QString ErrorRateReport::add(int events, int errors)
{
    m_events += events;
    m_errors += errors;
    if (m_events < eventsPerReport)
        return {};
    const float rate = float(m_errors) / float(m_events) * 100.0f;
    m_events = m_errors = 0;
    const QString text = m_prefix + QStringLiteral("%1%").arg(double(rate), 0, 'f', 2);
    if (!std::exchange(m_forceNext, false) && text == m_last)
        return {};
    m_last = text;
    return text;
}
